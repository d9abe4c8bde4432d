#include <QAbstractItemView>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include "chat/channel_images.h"
#include "chat/chat_texts.h"
#include "chat/display_text.h"
#include "chat/kestrivan_dlg.h"
#include "chat/skin_commands.h"
#include "ui/dialog_units.h"

namespace {

struct TemplateRect {
    int x, y, w, h;
};

// Positions of template 102, in dialog units.
constexpr TemplateRect kWindowSize{0, 0, 553, 333};
TemplateRect PartRect(int controlId) {
    switch (controlId) {
        case 1004:
            return {115, 177, 103, 89};
        case 1012:
            return {362, 185, 57, 86};
        case 1031:
            return {6, 6, 21, 18};
        case 1006:
            return {380, 52, 116, 91};
        case 1039:
            return {41, 49, 116, 93};
        default:
            return {0, 0, 0, 0};
    }
}

QString ControlName(int controlId) { return QStringLiteral("ctl%1").arg(controlId); }

// Edit boxes and lists draw on white.
void MakeWhite(QWidget* w) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Window, Qt::white);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

}  // namespace

void CKestrivanDlg::BuildControls() {
    const QFont font = DialogUnits::TemplateFont(8);
    setFont(font);
    const DialogUnits du(font);
    // The template's size is where the window opens and the smallest it can be made.
    setMinimumSize(du.X(kWindowSize.w), du.Y(kWindowSize.h));
    resize(minimumSize());
    setWindowTitle(QString(chat_texts::kWindowTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);

    // In template order, so that the tab order follows the template.
    m_chatInput = new QPlainTextEdit(this);
    m_chatInput->setObjectName(ControlName(1001));
    m_chatInput->setAccessibleName(QStringLiteral("Chat input"));
    m_chatInput->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_chatInput->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_chatInput->setTabChangesFocus(true);
    m_chatInput->installEventFilter(this);
    MakeWhite(m_chatInput);
    du.Place(m_chatInput, 221, 250, 137, 21);

    m_sendButton =
        AddHiddenButton(1003, QStringLiteral("Send"), QStringLiteral("Send"), 275, 70, 21, 13);
    m_sendButton->setDefault(true);
    m_effectButton = AddHiddenButton(1002, QStringLiteral("Effect..."), QStringLiteral("Effect"),
                                     214, 25, 53, 14);
    m_effectButton->setEnabled(false);
    AddHiddenButton(1005, QStringLiteral("Option..."), QStringLiteral("Options"), 214, 89, 53, 14);
    AddHiddenButton(57670, QStringLiteral("&Help"), QStringLiteral("Help"), 214, 71, 53, 14);
    QPushButton* ok =
        AddHiddenButton(1, QStringLiteral("OK"), QStringLiteral("OK"), 307, 84, 24, 14);
    QPushButton* cancel =
        AddHiddenButton(2, QStringLiteral("Cancel"), QStringLiteral("Cancel"), 305, 65, 25, 14);

    m_chatDisplay = new QPlainTextEdit(this);
    m_chatDisplay->setObjectName(ControlName(1000));
    m_chatDisplay->setAccessibleName(QStringLiteral("Conversation"));
    m_chatDisplay->setReadOnly(true);
    m_chatDisplay->setUndoRedoEnabled(false);
    m_chatDisplay->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QScrollBar* displayBar = m_chatDisplay->verticalScrollBar();
    // Only the user's own scrolling moves the view away from the end; the display's
    // relayout changes value and range on its own while it rewraps.
    connect(displayBar, &QScrollBar::actionTriggered, this, [this, displayBar] {
        followEnd_ = displayBar->sliderPosition() >= displayBar->maximum();
    });
    connect(displayBar, &QScrollBar::rangeChanged, this, [this] {
        if (followEnd_) ScrollToEndLater();
    });
    MakeWhite(m_chatDisplay);
    du.Place(m_chatDisplay, 221, 167, 138, 81);

    AddHiddenButton(1017, QStringLiteral("New Room"), QStringLiteral("New room"), 214, 6, 53, 14);
    AddHiddenButton(1019, QStringLiteral("Change Room"), QStringLiteral("Change room"), 274, 106,
                    53, 14);

    m_roomTitleEdit = new QLineEdit(this);
    m_roomTitleEdit->setObjectName(ControlName(1021));
    m_roomTitleEdit->setAccessibleName(QStringLiteral("Room title"));
    m_roomTitleEdit->setReadOnly(true);
    MakeWhite(m_roomTitleEdit);
    du.Place(m_roomTitleEdit, 224, 141, 83, 12);

    m_assignButton = AddHiddenButton(1020, QStringLiteral("Assign Owner"),
                                     QStringLiteral("Assign owner"), 214, 105, 53, 14);
    m_assignButton->setEnabled(false);
    AddHiddenButton(1028, QStringLiteral("Zorvi"), QStringLiteral("Zorvi home page"), 214, 41, 53,
                    14);
    AddHiddenButton(1029, QStringLiteral("Pelbrook"), QStringLiteral("Pelbrook home page"), 214, 56,
                    53, 14);

    m_channelList = new QTreeWidget(this);
    m_channelList->setObjectName(ControlName(1040));
    m_channelList->setAccessibleName(QStringLiteral("Channel list"));
    du.Place(m_channelList, 437, 183, 60, 77);

    AddHiddenButton(1041, QStringLiteral("Show List"), QStringLiteral("Show list"), 271, 48, 45,
                    15);
    AddHiddenButton(1007, QStringLiteral("Find..."), QStringLiteral("Find"), 271, 29, 48, 14);

    connect(m_sendButton, &QPushButton::clicked, this, &CKestrivanDlg::OnSendButton);
    connect(m_assignButton, &QPushButton::clicked, this, &CKestrivanDlg::OnAssignOwner);
    // OK and Cancel end the window only through the close sequence.
    connect(ok, &QPushButton::clicked, this, &CKestrivanDlg::closeRequested);
    connect(cancel, &QPushButton::clicked, this, &CKestrivanDlg::closeRequested);
}

QPushButton* CKestrivanDlg::AddHiddenButton(int controlId, const QString& text, const QString& role,
                                            int x, int y, int w, int h) {
    // The skin's buttons stand in for these; they exist so that their commands can be
    // connected and pressed, but are never shown.
    auto* button = new QPushButton(text, this);
    button->setObjectName(ControlName(controlId));
    button->setAccessibleName(role);
    button->setAutoDefault(false);
    DialogUnits(font()).Place(button, x, y, w, h);
    button->hide();
    return button;
}

void CKestrivanDlg::PlacePart(QWidget* part, int controlId, const QString& role) {
    if (!part) return;
    part->setParent(this);
    if (part->objectName().isEmpty()) part->setObjectName(ControlName(controlId));
    if (part->accessibleName().isEmpty()) part->setAccessibleName(role);
    const TemplateRect r = PartRect(controlId);
    DialogUnits(font()).Place(part, r.x, r.y, r.w, r.h);
    if (controlId == 1012) MakeWhite(part);
    part->show();
}

void CKestrivanDlg::SetUp() {
    // The system menu's items, the tray icon and the About box belong to the window shell,
    // which connects to trayIconRequested and closeRequested.
    setWindowIcon(m_hIcon);
    m_sendButton->setIcon(m_hSendIcon);
    setWindowTitle(QString(chat_texts::kWindowTitle));
    PlayProgramSound(ProgramSound::Welcome);

    m_chatDisplay->setPlainText(
        DisplayForm(QString(chat_texts::kWelcomeHead) + m_nickname + chat_texts::kWelcomeTail));

    m_chatInput->setReadOnly(true);
    m_sendButton->setEnabled(false);
    m_effectButton->setEnabled(false);
    m_assignButton->setEnabled(false);
    for (const QLatin1String& command : skin_commands::kSetUp) RunSkinCommand(command);

    m_portalBrowser->Navigate(endpoints().PortalPage());
    SetUpChannelList();
    emit trayIconRequested();
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    m_effectBrowser->SetVisible(false);
    if (!m_nickname.isEmpty()) SetSkinElementText(QString(skin_commands::kNameElement), m_nickname);
}

void CKestrivanDlg::SetUpChannelList() {
    MakeWhite(m_channelList);
    m_channelList->setRootIsDecorated(false);
    m_channelList->setItemsExpandable(false);
    m_channelList->setUniformRowHeights(true);
    m_channelList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_channelList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_channelList->setIconSize(QSize(17, 17));
    m_channelImagesNormal = {channel_images::Speaker(true), channel_images::Speaker(false)};
    m_channelImagesSmall = m_channelImagesNormal;
    m_channelList->setColumnCount(3);
    m_channelList->setHeaderLabels(
        {QStringLiteral("Channel Name"), QStringLiteral("Audio"), QStringLiteral("People")});
    QHeaderView* header = m_channelList->header();
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setMinimumSectionSize(10);
    m_channelList->setColumnWidth(0, 50);
    m_channelList->setColumnWidth(1, 20);
    m_channelList->setColumnWidth(2, 25);
    m_channelList->clear();
}
