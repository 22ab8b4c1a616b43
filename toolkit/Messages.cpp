// Shift states of mouse and key messages.
#include "toolkit/Messages.h"

#include "toolkit/backends/Platform.h"

namespace ql {

TShiftState KeysToShiftState(std::uintptr_t keys) {
    TShiftState s = 0;
    if (keys & MK_SHIFT) s |= ssShift;
    if (keys & MK_CONTROL) s |= ssCtrl;
    if (keys & MK_LBUTTON) s |= ssLeft;
    if (keys & MK_RBUTTON) s |= ssRight;
    if (keys & MK_MBUTTON) s |= ssMiddle;
    if (ActiveWindowSystem().IsKeyDown(VK_MENU)) s |= ssAlt;
    return s;
}

TShiftState KeyDataToShiftState(std::intptr_t keyData) {
    TShiftState s = 0;
    TWindowSystem& ws = ActiveWindowSystem();
    if (ws.IsKeyDown(VK_SHIFT)) s |= ssShift;
    if (ws.IsKeyDown(VK_CONTROL)) s |= ssCtrl;
    if (keyData & KF_ALTDOWN_BIT) s |= ssAlt;
    return s;
}

} // namespace ql
