// The application object.
#include "toolkit/Application.h"

#include <mutex>

namespace ql {

namespace {
std::mutex gAppLock;
TApplication* gApplication = nullptr;
std::mutex gMessageLock;
} // namespace

const TClassInfo& TApplication::StaticClass() {
    static TClassInfo info("TApplication", &TComponent::StaticClass);
    return info;
}

TApplication::TApplication() : TComponent(nullptr) { SetName("Application"); }
TApplication::~TApplication() = default;

void TApplication::HandleException(const std::exception& e) {
    std::lock_guard<std::mutex> g(gMessageLock);
    fLastMessage = e.what();
    ++fExceptionCount;
}

std::string TApplication::LastExceptionMessage() const {
    std::lock_guard<std::mutex> g(gMessageLock);
    return fLastMessage;
}

TApplication* Application() {
    std::lock_guard<std::mutex> g(gAppLock);
    if (!gApplication) gApplication = new TApplication();
    return gApplication;
}

void ShutdownApplication() {
    TApplication* app;
    {
        std::lock_guard<std::mutex> g(gAppLock);
        app = gApplication;
        gApplication = nullptr;
    }
    TComponent::Free(app);
}

} // namespace ql
