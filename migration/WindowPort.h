// WindowPort: what the migration window's logic needs from the screen.
//
// frmRivivuviRU talks to its widgets, dialogs, message boxes, the mouse pointer and the event
// loop only through this interface, so that tests drive the whole flow with a recorder that
// pre-answers the dialogs and the real window implements it with Qt widgets. Texts are UTF-8;
// line breaks inside them are "\r\n", as the log and messages are written. The logic owns the
// rules (the progress bar's refusals, the log's order); a port only shows what it is told.
// Called on the window's thread only.
#pragma once

#include <optional>
#include <string>

namespace migration {

enum class MessageIcon { Information, Critical };

// The file-open dialog's settings: the proposed file name, the title and one filter made of a
// description and a pattern (both kept exactly as given, blanks included).
struct FileDialogRequest {
    std::string fileName;
    std::string title;
    std::string filterDescription;
    std::string filterPattern;
};

class WindowPort {
  public:
    virtual ~WindowPort() = default;

    virtual void SetCaption(const std::string& text) = 0;          // the window's title
    virtual void SetFrameCaption(const std::string& text) = 0;     // Frame1
    virtual void SetOldDatabaseText(const std::string& text) = 0;  // Text2

    // Text1: replace the whole text, or insert at its end with the caret moved there.
    virtual void ReplaceLog(const std::string& text) = 0;
    virtual void AppendLog(const std::string& text) = 0;

    // ProgressBar1 (minimum 0). Only values the logic accepted arrive here: a maximum above 0
    // and a value between 0 and the maximum.
    virtual void SetProgressMaximum(int maximum) = 0;
    virtual void SetProgressValue(int value) = 0;

    virtual void SetStartEnabled(bool enabled) = 0;  // cmdOK
    virtual void SetBusyPointer(bool busy) = 0;      // hourglass over the whole screen

    // Lets the window process its pending events, user input included.
    virtual void Yield() = 0;
    // Repaints the window without processing any user input; called during long engine work.
    virtual void Repaint() = 0;

    // A modal message box titled "Sonavoxa" with one OK button.
    virtual void ShowMessage(MessageIcon icon, const std::string& text) = 0;
    // A modal file-open dialog; the chosen file's full path, or nothing when cancelled.
    virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
};

}  // namespace migration
