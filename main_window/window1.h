#pragma once
// The main window: every setting of the animation being made lives here, in
// its controls (read afresh at every render) and in its properties.
#include <QMainWindow>
#include <QString>
#include <array>
#include <deque>
#include <functional>
#include <memory>

#include "document/animation_document.h"
#include "document/animation_state.h"
#include "document/project.h"
#include "engine/path_table.h"
#include "engine/renderer.h"
#include "framework/controls.h"
#include "framework/folderitem.h"
#include "framework/picture.h"
#include "movie/movie.h"
#include "movie/movie_player.h"

class MenuBar1;
class RenderProgress;

class Window1 : public QMainWindow {
  Q_OBJECT
 public:
  // The single main window: the open one, or a new one.
  static Window1* Instance();
  static Window1* InstanceIfOpen();
  ~Window1() override;

  // What the window is given by the application that runs it: set before
  // the window opens.
  struct WindowServices {
    std::function<bool()> quit;             // the close box; true once the window may go
    std::function<bool()> quitting = [] { return false; };  // no new preview once true
    std::function<FolderItemPtr()> scratchFolder;           // where previews go
    std::function<void(QMainWindow*)> installMenus;         // the menu bar
    std::function<void(const QString&)> openProject;        // a project dropped on the window
  };
  static void SetServices(WindowServices services);
  static const WindowServices& Services();

  // --- properties ---
  PicturePtr immagine;   // the object's picture (object kinds 5 and 6)
  QTVideoTrackPtr track;  // the track being written; after a render, the scratch movie's
  FolderItemPtr f;        // the movie being written; after a render, the one that plays
  EditableMoviePtr m;     // the movie being written; after a render, the scratch movie
  PicturePtr p;           // the frame picture
  int contatore = 0;      // preview movies made since the window opened
  FolderItemPtr cartella;  // where PICT frames go
  std::array<QString, 7> asciino;  // text, font, bold, italic, underline, picture path, background path
  PicturePtr sfondo;      // the background picture; nil for a plain colour
  bool auto_ = false;     // a project is being loaded
  int oggetto = 0;        // object kind 0..9
  int movimento = 0;      // motion kind 0..9
  PathTable percorso;

  // --- controls ---
  Rectangle* rettoboldo = nullptr;
  Rectangle* rettopreso = nullptr;
  Rectangle* Rectangle3 = nullptr;
  Rectangle* Rectangle1 = nullptr;
  Rectangle* Rectangle2 = nullptr;
  std::array<Rectangle*, 2> Rectcolore{};
  std::array<EditField*, 8> EditXY{};
  StaticText* tStatic1 = nullptr;
  StaticText* tStatic2 = nullptr;
  std::array<StaticText*, 8> StaticT{};
  StaticText* StaticText8 = nullptr;
  TextArea* LogEditField = nullptr;
  StaticText* StaticText10 = nullptr;
  PushButton* PushButton2 = nullptr;
  PushButton* PushButton4 = nullptr;
  StaticText* StaticText11 = nullptr;
  std::array<BevelButton*, 10> BevelB{};
  MoviePlayer* MoviePlayer1 = nullptr;
  std::array<RadioButton*, 3> RadioBu{};
  Rectangle* rettoboldo1 = nullptr;
  Rectangle* rettopreso1 = nullptr;
  Line* Line1 = nullptr;
  std::array<BevelButton*, 10> BevelAnimation{};

  const ControlRegistry& Controls() const { return controls_; }
  // The strip under the preview area that shows how far a long render has come.
  RenderProgress* Progress() const { return renderProgress_; }
  QWidget* Content() const { return content_; }

  // --- rendering: the settings gathered from the controls, handed to the engine ---
  AnimationState CurrentState() const;
  RenderSettings CurrentSettings() const;

  // --- the document: what the controls show, kept as the history of changes ---
  AnimationDocument* Document() const { return document_; }
  // Shows the state in every control and property, running no handler.
  void ShowState(const AnimationState& state);
  // The name of the change the request under way makes ("Colour").
  void NameChange(const QString& name) { changeName_ = name; }
  // Keeps what the controls show as a change of the document, when it is
  // one, with the previews rendered since the last change.
  void CommitChange(const QString& name);
  // Typing in a number field not yet committed (by Return or by the next
  // request): the field with the focus differs from the document.
  bool HoldsTyping() const;
  // Edit > "Undo" and "Redo", as requests: they wait for a render under way.
  void UndoChange();
  void RedoChange();
  // Loads a project read from a file, as File > "Open.." does once the file
  // is read: one change, which leaves the document saved as that file.
  void LoadProject(const Project& project, const QString& file);
  void crea_movie(int flag);
  void crea_preview(int flag);
  void movimenti(int i, double steps, double dx, double dy);
  void scelta_oggetto(int k);
  void scelta_movimento(int k);
  // The text composer, starting from the text held; what it composes is held
  // and the steps are its length.
  void ComposeText();
  // The path editor on the path table; a finished path sizes the movie.
  void EditPath();
  // The background picture from this file (a plain colour when it is nil or
  // no picture), as "background or image" sets it.
  void SetBackgroundFrom(const FolderItemPtr& file);

  // --- handlers ---
  void EditXY_TextChange(int index);
  void EditXY_GotFocus(int index);
  void EditXY_LostFocus(int index);
  bool EditXY_KeyDown(int index, const QString& key);
  void LogEditField_TextChange(int index);
  bool Rectcolore_MouseDown(int index, int x, int y);
  void tStatic2_MouseEnter(int index);
  bool tStatic2_MouseDown(int index, int x, int y);
  void tStatic2_MouseExit(int index);
  void BevelB_MouseEnter(int index);
  void BevelB_MouseExit(int index);
  void BevelB_Action(int index);
  void RadioBu_Action(int index);
  void BevelAnimation_MouseEnter(int index);
  void BevelAnimation_MouseExit(int index);
  void BevelAnimation_Action(int index);
  void PushButton2_Action(int index);
  void PushButton4_Action(int index);
  // File > "Export As..": the animation in a format chosen in a save dialog
  // (by its type or the extension typed), with that format's options.
  void ExportAs();
  // What an export never replaces: the project and the pictures the
  // animation is drawn from.
  std::vector<KeptFile> FilesAnExportKeeps() const;

  void Event_Open();
  void Event_Close();

  // What a request does: anything, or only render the preview again (Return
  // in a number field). Waiting preview requests next to each other merge.
  enum class RequestKind { Action, Preview };
  // Runs something the user asked for (a click, Return, a menu command) now,
  // or, while another request or a render is under way, after it and after
  // every request that waits before it. The request keeps the Command key of
  // the user's event that made it, whenever it runs.
  void RunUserAction(std::function<void()> action, RequestKind kind = RequestKind::Action);
  int WaitingRequests() const { return static_cast<int>(requests_.size()); }
  // Quitting: the render under way ends at its next frame, its movie is
  // discarded, waiting requests are dropped and no new render starts.
  void StopForQuit();
  // The quit was called off (the question before it was cancelled): renders
  // and requests run again.
  void CallOffQuit();

  // Writes a message into the log field (replacing what was there).
  void Log(const QString& text);
  bool Rendering() const { return engine_.Rendering(); }
  // A request or a render is under way.
  bool Busy() const { return acting_ || engine_.Rendering(); }

 protected:
  void closeEvent(QCloseEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  Window1();
  void Layout();
  void CreateControls();
  void _CreateControls0();
  void _CreateControls1();
  void CreateObjectButton(int k);
  void CreateMotionButton(int k);

  // A render asked for while another one yields waits for it, in line with
  // the user's requests.
  bool DeferIfRendering(std::function<void()> request);
  bool MakeScratchFolder(FolderItemPtr& folder);
  void KeepPreviewsWithinBound();
  void MarkFocus(int k, bool focused);
  // The frame picture at the movie size of fields 3 and 4; nil (with a log
  // message) when there is not enough memory.
  PicturePtr NewFramePicture();
  // A new movie on the file with a track of the given size, held in m and
  // track; false, with a log message naming the file, when it cannot be made.
  bool StartMovie(const FolderItemPtr& file, int width, int height, const QString& what);
  void FinishMovie();

  struct Request {
    std::function<void()> run;
    RequestKind kind;
    bool commandKey;  // as it stood when the user acted
  };
  // The name of the change that typing in the number fields makes.
  QString TypingChangeName() const;
  // Undo or Redo has set the document's state: shown, and its previews rendered.
  void ShowRestoredState(int previews);
  bool eventFilter(QObject* watched, QEvent* event) override;
  void RunRequest(Request& request);
  void RunWaitingRequests();

  ControlRegistry controls_;
  QWidget* content_ = nullptr;
  RenderProgress* renderProgress_ = nullptr;

  Renderer engine_;
  AnimationDocument* document_ = nullptr;
  QString changeName_;         // of the request under way
  int previewsSinceChange_ = 0;  // previews rendered since the last change kept
  bool acting_ = false;
  bool closeAccepted_ = true;  // by the last Close event
  bool commandKey_ = false;  // of the request being carried out
  std::deque<Request> requests_;
};
