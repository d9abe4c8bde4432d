#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <chrono>
#include <memory>

#include "app/endpoints.h"
#include "app/seams.h"
#include "net/zorvi_socket.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSocketNotifier;
class QTreeWidget;
class SettingsStore;
class BlockingWait;
class IPasswordKeyring;
class IUserList;
class RoomOperations;
class EffectOperations;
class CKestrivanDlgAutoProxy;
class CProgressDlg;
struct StandInParts;
class ChatInputKeys;
class ChatLineWriter;
class FindBar;

// What the window is given by main() (or by a test).
struct WindowServices {
    IMessageBox* messageBox = nullptr;
    ISoundPlayer* sounds = nullptr;
    IDesktop* desktop = nullptr;
    IClock* clock = nullptr;
    SettingsStore* settings = nullptr;
    BlockingWait* blockingWait = nullptr;  // may be null in tests
    // Where the saved password lives when the desktop has a keyring; null: the file only.
    IPasswordKeyring* keyring = nullptr;
    Endpoints endpoints;
    zorvi::SocketConfig sockets;
};

// The parts of the face that are built outside the window and placed into it. Any may be
// null (tests bind fakes without widgets, or no part at all): the window then uses a
// stand-in that does nothing.
struct WindowParts {
    ISkin* skin = nullptr;
    QWidget* skinWidget = nullptr;
    IWebPane* portal = nullptr;
    QWidget* portalWidget = nullptr;
    IWebPane* effectPane = nullptr;
    QWidget* effectWidget = nullptr;
    IMediaPlayer* media = nullptr;
    QWidget* mediaWidget = nullptr;
    IUserList* userList = nullptr;
    QWidget* userListWidget = nullptr;
};

// The main chat window: owner of the whole chat state. Operations of the other subsystems
// live in their own folders and work on the members below.
class CKestrivanDlg : public QDialog, public zorvi::ChatSocketOwner {
    Q_OBJECT

public:
    explicit CKestrivanDlg(WindowServices services, QWidget* parent = nullptr);
    ~CKestrivanDlg() override;

    // Places the externally built parts; call once, before SetUp.
    void AttachParts(const WindowParts& parts);
    void SetRoomOperations(RoomOperations* ops) { m_roomOps = ops; }
    void SetEffectOperations(EffectOperations* ops) { m_effectOps = ops; }

    // Set-up of the window before it is first shown.
    void SetUp();

    // The one way to add a line to the conversation: text + "\r\n" at the very end.
    void AppendChatLine(const QString& text);
    void RunSkinCommand(const QString& command);
    void SetSkinElementText(const QString& element, const QString& text);
    // Plays one of the program's sounds when sound is on.
    void PlayProgramSound(ProgramSound sound, bool wait = false);
    void ShowMessage(const QString& text);
    bool AskYesNo(const QString& text);

    // Incoming dispatch.
    void ProcessPendingRead() override;
    void ReceiveOneRecord();
    void DispatchRecord(CMsg& msg);

    // Chat input.
    void OnSendButton();
    void SendChat(const QString& line);
    static bool ContainsBadWord(const QString& line);
    bool ProcessCommand(const QString& line);
    // Sends on the chat connection; false when it has no output writer or the write failed.
    bool SendOnChat(const CMsg& msg);
    // The beep record for `name`; a connection that cannot take it gets the error line.
    void BeepPerson(const QString& name);

    // --- Identity, room and ownership ---
    // Each change below keeps the window's rules in one place; the state is not written
    // anywhere else.

    // The signed-in user, as typed or as saved.
    void SetIdentity(const QString& nickname, const QString& password);
    // The login host and the chat host, which are always the same server.
    void SetServerHost(const QString& host);
    void SetSoundOn(bool on);
    // The address of the live show that is playing.
    void SetMediaAddress(const QString& address);
    // The rooms of the channel list, entry by entry: name, people and audio marker.
    void ReplaceChannels(QStringList names, QVector<int> people, QVector<int> audio);

    // The chat host port of the room that the next join connects to; -1 for no room.
    void SetRoomPort(int port);
    void EnterRoom(const QString& roomName);
    void SetRoomOwner(const QString& ownerName);
    // The room's people, kept in step with the people list.
    void AddRoomUser(const QString& name, bool owner);
    void RemoveRoomUser(const QString& name);
    // The old room's conversation, input and people are gone.
    void ClearRoom();
    // A new session has no room and owns none.
    void ForgetRoom();

    // Ownership: m_isOwner, the Assign Owner and Effect buttons and the skin's owner buttons
    // always change together. The skin's commands differ by occasion, in text and order.
    enum class OwnerGain {
        Received,  // handed over by another user: assign, Effect, closeEffect
        Created,   // a room of one's own: "stop;" first, assign, closeEffect, Effect
    };
    enum class OwnerLoss {
        ByOwner,       // handed over, or an owner's new room failed: assign, Effect, closeEffect
        ByRoomChange,  // any other room change: assign, closeEffect, Effect
    };
    void BecomeOwner(OwnerGain how);
    void GiveUpOwnership(OwnerLoss how);

    const QString& loginHost() const { return m_loginHost; }
    const QString& chatHost() const { return m_chatHost; }
    bool soundOn() const { return m_soundOn != 0; }
    const QString& nickname() const { return m_nickname; }
    const QString& password() const { return m_password; }
    const QStringList& roomUsers() const { return m_roomUsers; }
    const QString& roomName() const { return m_roomName; }
    const QString& mediaAddress() const { return m_mediaAddress; }
    int chatPort() const { return m_chatPort; }
    bool isOwner() const { return m_isOwner != 0; }
    const QString& ownerName() const { return m_ownerName; }
    const QStringList& channelNames() const { return m_channelNames; }
    const QVector<int>& channelPeople() const { return m_channelPeople; }
    const QVector<int>& channelAudio() const { return m_channelAudio; }

    // Ownership.
    void OnAssignOwner();
    void OnBecomeOwner(const CMsg& msg);   // code 43
    void OnOwnerChanged(const CMsg& msg);  // code 51

    // Server list rewrite (code 54).
    void RewriteServerList(const CMsg& msg);

    // The chat connection's socket notifier follows the socket's handle.
    void WatchChatSocket();

    // --- Window state (members as the window's operations know them) ---
    // Controls: built with the window, never null.
    QPlainTextEdit* m_chatDisplay = nullptr;  // 1000
    QPlainTextEdit* m_chatInput = nullptr;    // 1001
    QLineEdit* m_roomTitleEdit = nullptr;     // 1021
    QTreeWidget* m_channelList = nullptr;     // 1040
    QPushButton* m_sendButton = nullptr;      // 1003
    QPushButton* m_effectButton = nullptr;    // 1002
    QPushButton* m_assignButton = nullptr;    // 1020
    // The parts below are never null: a part that was not attached is a stand-in.
    IUserList* m_userList = nullptr;  // 1012
    QWidget* m_userListWidget = nullptr;
    IWebPane* m_portalBrowser = nullptr;    // 1004
    IWebPane* m_effectBrowser = nullptr;    // 1006
    IMediaPlayer* m_mediaPlayer = nullptr;  // 1039
    ISkin* m_skin = nullptr;                // 1031
    QWidget* m_skinWidget = nullptr;

    // Connections.
    std::unique_ptr<zorvi::LoginSocket> m_pLoginSocket;
    std::unique_ptr<zorvi::ServiceSocket> m_pServiceSocket;
    std::unique_ptr<zorvi::ChatSocket> m_pChatSocket;

    // Chat state: private below, read through the accessors, changed through the methods.
    CProgressDlg* m_pProgressDlg = nullptr;
    CKestrivanDlgAutoProxy* m_pAutoProxy = nullptr;

    // Images of the channel list's "Audio" column: 0 a crossed-out speaker, 1 a speaker.
    QVector<QIcon> m_channelImagesNormal;
    QVector<QIcon> m_channelImagesSmall;
    QIcon m_hIcon;      // the main icon
    QIcon m_hSendIcon;  // the Send button's image

    // The control of the window's template with this identifier (objectName "ctl<ID>"),
    // or null. The hidden buttons are found this way to connect their clicked signals.
    QWidget* Control(int controlId) const;
    QPushButton* Button(int controlId) const;

    // How long one turn of reading records may keep the event loop waiting. Records keep
    // coming while a room is busy; after this long the window lays out, repaints and takes
    // input before going on with them on the next turn. The layout and repaint of what a
    // turn appended (links marked, times stamped) take up to about 16 ms more, so the window
    // answers within 50 ms in a flood.
    std::chrono::milliseconds m_readSlice{30};

    // Wing state of the skin bridge.
    bool m_buttonWingOpen = false;
    bool m_channelWingOpen = false;

    WindowServices& services() { return services_; }
    const Endpoints& endpoints() const { return services_.endpoints; }

    // Conveniences of the conversation: arrival times, the find bar, the input's keys.
    void SetTimestamps(bool on);
    bool Timestamps() const;
    // The conversation as it arrived, without arrival times: what a transcript holds.
    QString ConversationText() const;
    FindBar* findBar() const { return findBar_; }
    void OpenFindBar();

signals:
    // Raised for the window's own commands that other subsystems handle.
    void closeRequested();
    // Set-up reached the step that adds the notification-area icon.
    void trayIconRequested();
    // A record from the chat host, just before it is dispatched.
    void recordArrived(const CMsg& msg);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Chat state.
    QString m_loginHost;
    QString m_chatHost;
    int m_soundOn = 1;
    QString m_nickname;
    QString m_password;
    QStringList m_roomUsers;
    QString m_roomName;
    QString m_mediaAddress;
    int m_chatPort = -1;
    int m_isOwner = 0;
    QString m_ownerName;
    QStringList m_channelNames;
    QVector<int> m_channelPeople;
    QVector<int> m_channelAudio;

    WindowServices services_;
    RoomOperations* m_roomOps = nullptr;
    EffectOperations* m_effectOps = nullptr;
    QSocketNotifier* chatNotifier_ = nullptr;

    void BuildControls();
    // Places an externally built part at its control's template position.
    void PlacePart(QWidget* part, int controlId, const QString& role);
    QPushButton* AddHiddenButton(int controlId, const QString& text, const QString& role, int x,
                                 int y, int w, int h);
    void SetUpChannelList();
    RoomOperations& Rooms();
    EffectOperations& Effects();
    // The stream has lost its place: the connection cannot carry further records.
    void CloseChatAfterError();
    void ContinueReadingLater();
    // Scrolls the conversation to its end once, on the next event-loop turn.
    void ScrollToEndLater();
    std::unique_ptr<StandInParts> standInParts_;
    std::unique_ptr<RoomOperations> standInRoomOps_;
    std::unique_ptr<EffectOperations> standInEffectOps_;
    bool readingRecords_ = false;
    bool continuationPending_ = false;
    bool scrollPending_ = false;
    // Whether the conversation shows its end: then a resize that rewraps the lines keeps
    // the newest ones in view, as appending does.
    bool followEnd_ = true;

    void BuildConveniences();
    std::unique_ptr<ChatLineWriter> lineWriter_;
    std::unique_ptr<ChatInputKeys> inputKeys_;
    FindBar* findBar_ = nullptr;
};
