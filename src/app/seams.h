#pragma once

#include <QDateTime>
#include <QString>

// The small interfaces through which the window's logic reaches the desktop. The program
// binds them to Qt; tests bind them to recording fakes (tests/support/fakes.h).

// Message boxes with a fixed text and the application's title as caption. The text is
// always shown as plain text. "\n\r" and "\r\n" inside the text are one line break.
class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void Show(const QString& text) = 0;      // OK button
    virtual bool AskYesNo(const QString& text) = 0;  // true for Yes
};

// The five program sounds.
enum class ProgramSound {
    Welcome = 145,
    Goodbye = 146,
    PrivateMessage = 137,
    Beep = 138,
    Wing = 178
};

class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    // Asynchronous unless `wait`: a new sound cuts off the one playing. With `wait` the
    // call returns when the sound has finished (or at once when it cannot be played).
    virtual void Play(ProgramSound sound, bool wait) = 0;
};

// An embedded web browser pane.
class IWebPane {
public:
    virtual ~IWebPane() = default;
    virtual void Navigate(const QString& address) = 0;
    virtual void GoBack() = 0;
    virtual void Reload() = 0;
    virtual void Stop() = 0;
    virtual QString Title() const = 0;    // the current page's title
    virtual QString Address() const = 0;  // the current page's full URL
    virtual void SetVisible(bool visible) = 0;
    virtual bool IsVisible() const = 0;
};

// The live-show player.
class IMediaPlayer {
public:
    virtual ~IMediaPlayer() = default;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void Open(const QString& addressOrFile) = 0;
    // Read right after Open: 0 when the address or playlist could be opened.
    virtual int OpenStatus() const = 0;
};

// The user's desktop: web pages in the user's browser and the help viewer.
class IDesktop {
public:
    virtual ~IDesktop() = default;
    virtual void OpenUrl(const QString& address) = 0;
    virtual void ShowHelp(const QString& helpPath) = 0;  // "<file>.chm::/<topic>"
};

class IClock {
public:
    virtual ~IClock() = default;
    virtual QDateTime Now() const = 0;  // local time
};

// The skin: the one way to change the window's face.
class ISkin {
public:
    virtual ~ISkin() = default;
    virtual void RunSkinCommand(const QString& command) = 0;
    virtual void SetSkinElementText(const QString& element, const QString& text) = 0;
};
