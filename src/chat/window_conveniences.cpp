#include <QKeySequence>
#include <QPlainTextEdit>
#include <QShortcut>

#include "chat/chat_input_keys.h"
#include "chat/chat_line_writer.h"
#include "chat/chat_links.h"
#include "chat/find_bar.h"
#include "chat/kestrivan_dlg.h"

void CKestrivanDlg::BuildConveniences() {
    lineWriter_ = std::make_unique<ChatLineWriter>(services_.clock);
    lineWriter_->SetLinkColour(m_chatDisplay->palette().color(QPalette::Link));
    new ChatLinkOpener(*m_chatDisplay, services_.desktop);
    inputKeys_ = std::make_unique<ChatInputKeys>(*m_chatInput, [this] { return m_roomUsers; });

    findBar_ = new FindBar(*m_chatDisplay, m_chatInput, this);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &CKestrivanDlg::OpenFindBar);
}

void CKestrivanDlg::OpenFindBar() {
    if (findBar_) findBar_->Open();
}

void CKestrivanDlg::SetTimestamps(bool on) { lineWriter_->SetTimestamps(on); }

bool CKestrivanDlg::Timestamps() const { return lineWriter_->timestamps(); }

QString CKestrivanDlg::ConversationText() const {
    return m_chatDisplay ? ChatLineWriter::TextWithoutTimes(*m_chatDisplay->document()) : QString();
}
