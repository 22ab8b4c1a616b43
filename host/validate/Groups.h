// The battery's groups of tests, one source file each; the battery lists them in level order.
#pragma once

#include "host/validate/Checks.h"

#include <vector>

namespace ql::host::validate {

void AddLifecycleTests(std::vector<TestCase>& tests);  ///< levels 1 and 2: opening, closing, host call orders
void AddDispatcherTests(std::vector<TestCase>& tests); ///< level 3: every opcode, identity and texts
void AddProgramTests(std::vector<TestCase>& tests);    ///< level 4
void AddParameterTests(std::vector<TestCase>& tests);  ///< level 5
void AddAudioTests(std::vector<TestCase>& tests);      ///< levels 6 and 7
void AddThreadTests(std::vector<TestCase>& tests);     ///< level 8
void AddRealtimeTests(std::vector<TestCase>& tests);   ///< level 9
void AddStateTests(std::vector<TestCase>& tests);      ///< level 10: state
void AddEditorTests(std::vector<TestCase>& tests);     ///< level 10: the editor in a real window

} // namespace ql::host::validate
