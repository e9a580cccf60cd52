#include "document/animation_document.h"

#include <QUndoCommand>

// One change: the state before and after it. The change itself was made in
// the window, so its first redo (the push) only takes the state over.
class StateChange : public QUndoCommand {
 public:
  StateChange(AnimationDocument* document, const QString& name, AnimationState before, AnimationState after,
              int previews)
      : QUndoCommand(name),
        document_(document),
        before_(std::move(before)),
        after_(std::move(after)),
        previews_(previews) {}

  void undo() override { document_->Restore(before_, previews_); }
  void redo() override {
    if (pushed_) {
      document_->Restore(after_, previews_);
      return;
    }
    pushed_ = true;
    document_->state_ = after_;
  }

 private:
  AnimationDocument* document_;
  AnimationState before_, after_;
  int previews_;
  bool pushed_ = false;
};

AnimationDocument::AnimationDocument(QObject* parent) : QObject(parent) { history_.setUndoLimit(kUndoSteps); }

void AnimationDocument::Change(const QString& name, const AnimationState& after, int previews) {
  if (SameAnimation(state_, after)) return;
  history_.push(new StateChange(this, name, state_, after, previews));
}

void AnimationDocument::Reset(const AnimationState& state) {
  history_.clear();
  state_ = state;
  saved_ = state;
  path_.clear();
}

void AnimationDocument::MarkSaved(const QString& path) {
  saved_ = state_;
  path_ = path;
  history_.setClean();
}

void AnimationDocument::Restore(const AnimationState& state, int previews) {
  state_ = state;
  emit Restored(previews);
}
