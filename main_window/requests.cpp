// The user's requests: run at once when nothing else is under way, otherwise
// in the order the user made them, once the render or request before them
// has ended.
#include "framework/system.h"
#include "main_window/window1.h"

void Window1::RunUserAction(std::function<void()> action, RequestKind kind) {
  if (engine_.Stopped()) return;  // quitting: nothing new starts
  Request request{std::move(action), kind, AsyncCommandKey()};
  if (Busy()) {
    // Rendering the same preview twice in a row shows nothing new.
    const bool same = !requests_.empty() && kind == RequestKind::Preview &&
                      requests_.back().kind == RequestKind::Preview &&
                      requests_.back().commandKey == request.commandKey;
    if (!same) requests_.push_back(std::move(request));
    return;
  }
  RunRequest(request, false);
  RunWaitingRequests();
}

void Window1::RunRequest(Request& request, bool waited) {
  acting_ = true;
  {
    // A request that waited sees the Command key as the user held it.
    std::optional<CommandKeyAsHeld> key;
    if (waited) key.emplace(request.commandKey);
    request.run();
  }
  acting_ = false;
}

void Window1::RunWaitingRequests() {
  while (!Busy() && !requests_.empty()) {
    Request request = std::move(requests_.front());
    requests_.pop_front();
    RunRequest(request, true);
  }
}

void Window1::StopForQuit() {
  engine_.Stop();
  requests_.clear();
}
