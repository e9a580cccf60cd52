// The user's requests: run at once when nothing else is under way, otherwise
// in the order the user made them, once the render or request before them
// has ended.
#include "framework/system.h"
#include "main_window/window1.h"

void Window1::RunUserAction(std::function<void()> action, RequestKind kind) {
  if (engine_.Stopped()) return;  // quitting: nothing new starts
  Request request{std::move(action), kind, CommandKeyInEvent()};
  if (Busy()) {
    // Rendering the same preview twice in a row shows nothing new.
    const bool same = !requests_.empty() && kind == RequestKind::Preview &&
                      requests_.back().kind == RequestKind::Preview &&
                      requests_.back().commandKey == request.commandKey;
    if (!same) requests_.push_back(std::move(request));
    return;
  }
  RunRequest(request);
  RunWaitingRequests();
}

void Window1::RunRequest(Request& request) {
  acting_ = true;
  commandKey_ = request.commandKey;
  // Typing not yet committed is a change of its own, before this request's;
  // Return commits it together with the preview it renders.
  if (request.kind != RequestKind::Preview) CommitChange(QString());
  previewsSinceChange_ = 0;
  changeName_.clear();
  request.run();
  // What the request changed is one step of the history.
  CommitChange(changeName_);
  commandKey_ = false;
  acting_ = false;
}

void Window1::RunWaitingRequests() {
  while (!Busy() && !requests_.empty()) {
    Request request = std::move(requests_.front());
    requests_.pop_front();
    RunRequest(request);
  }
}

void Window1::StopForQuit() {
  engine_.Stop();
  requests_.clear();
}

void Window1::CallOffQuit() { engine_.Resume(); }
