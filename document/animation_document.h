#pragma once
// The animation being made, as a document: its state, the project file it
// was last opened from or saved to, whether it has changed since, and the
// history of its changes for Undo and Redo.
//
// The window makes a change through its controls and dialogs and hands the
// state it ends in to Change, which keeps it as one step of the history.
// Undo and Redo set the state back or forward and say so with Restored: the
// window then shows that state and renders the previews the change rendered.
#include <QObject>
#include <QString>
#include <QUndoStack>

#include "document/animation_state.h"

class AnimationDocument : public QObject {
  Q_OBJECT
 public:
  // How many changes can be undone, at least.
  static constexpr int kUndoSteps = 1000;

  explicit AnimationDocument(QObject* parent = nullptr);

  const AnimationState& State() const { return state_; }
  QUndoStack* History() { return &history_; }

  // A change made: the state it ends in, under the name Undo and Redo give
  // it ("Colour"), and how many previews it rendered. A change that ends
  // where the state was is no change and is not kept. Clears what could be
  // redone.
  void Change(const QString& name, const AnimationState& after, int previews);

  // A fresh start from this state: no history, and nothing to save.
  void Reset(const AnimationState& state);
  // The state is the project's as it stands on disk: just saved or opened.
  void MarkSaved(const QString& path);
  // The project file last opened or saved; empty when none.
  QString Path() const { return path_; }
  // Whether the state differs from the one last opened or saved (or, with
  // none, from the opening state). Undoing back to it is no change.
  bool Modified() const { return !SameAnimation(state_, saved_); }

  void Undo() { history_.undo(); }
  void Redo() { history_.redo(); }

 signals:
  // Undo or Redo set the state: the change rendered this many previews.
  void Restored(int previews);

 private:
  friend class StateChange;
  void Restore(const AnimationState& state, int previews);

  AnimationState state_;
  AnimationState saved_;
  QString path_;
  QUndoStack history_;
};
