// The application object: owner of every plug-in module and handler of stray exceptions.
#pragma once

#include "toolkit/Component.h"

#include <atomic>
#include <exception>
#include <string>

namespace ql {

class TApplication : public TComponent {
    QL_CLASS(TApplication)
  public:
    TApplication();
    ~TApplication() override;

    /// Reports an exception that nobody else may handle (OnCreate handlers, editor events).
    void HandleException(const std::exception& e);
    /// The message of the last exception handled, for diagnostics and tests.
    std::string LastExceptionMessage() const;
    int ExceptionCount() const { return fExceptionCount.load(); }

  private:
    std::string fLastMessage;
    std::atomic<int> fExceptionCount{0};
};

/// The process-wide application object; created on first use (library start-up), freed at unload.
TApplication* Application();
/// Frees the application object and every component it still owns (library unload).
void ShutdownApplication();

} // namespace ql
