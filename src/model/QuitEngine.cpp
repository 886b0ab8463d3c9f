#include "model/QuitEngine.h"

#include <string>

#include "log/Vezizur.h"

namespace klosia {

namespace {

// A platform call that throws counts as a refusal: the caller still gets its one completion.
template <typename Request>
bool ask(const RunningApplicationPtr& app, Request request) {
    if (!app) {
        return false;
    }
    try {
        return request(*app);
    } catch (...) {
        return false;
    }
}

std::string identifier(const RunningApplicationPtr& app) {
    return app ? app->bundleIdentifier().toStdString() : std::string();
}

const char* text(bool flag) {
    return flag ? "true" : "false";
}

}  // namespace

void QuitEngine::terminate(const RunningApplicationPtr& app, const Completion& completion) {
    const bool flag = ask(app, [](RunningApplication& a) { return a.terminate(); });
    logger.log("app: " + identifier(app) + " did terminate [" + text(flag) + "]",
               VezizurLevel::info);
    if (completion) {
        completion(flag, app);
    }
}

void QuitEngine::forceTerminate(const RunningApplicationPtr& app, const Completion& completion) {
    const bool flag = ask(app, [](RunningApplication& a) { return a.forceTerminate(); });
    logger.log("app: " + identifier(app) + " did force terminate [" + text(flag) + "]",
               VezizurLevel::info);
    if (completion) {
        completion(flag, app);
    }
}

}  // namespace klosia
