#include "ui/progress_dlg.h"

#include <QCoreApplication>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>

#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/ui_texts.h"

namespace {
constexpr int kTemplateWidth = 182;
constexpr int kTemplateHeight = 48;
constexpr int kTextId = 1042;

QLabel* MakeLabel(QWidget* parent, const DialogUnits& du, const char* objectName, const char* text,
                  int x, int y, int w, int h) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromUtf8(text));
    label->setAccessibleName(label->text());
    du.Place(label, x, y, w, h);
    return label;
}
}  // namespace

CProgressDlg::CProgressDlg(QString text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_text(std::move(text)) {
    setObjectName(QStringLiteral("progressDialog"));
    setAccessibleName(QStringLiteral("Progress"));
    setModal(false);
    setFont(DialogUnits::TemplateFont(8));
    const DialogUnits du(font());
    setFixedSize(du.X(kTemplateWidth), du.Y(kTemplateHeight));

    // A bordered pop-up without caption: the border is a frame over the whole client area.
    auto* border = new QFrame(this);
    border->setObjectName(QStringLiteral("progressBorder"));
    border->setFrameStyle(QFrame::Box | QFrame::Plain);
    border->setGeometry(rect());

    edit_ = new QPlainTextEdit(this);
    edit_->setObjectName(QStringLiteral("progressText"));
    edit_->setAccessibleName(QStringLiteral("Progress text"));
    edit_->setReadOnly(true);
    edit_->setFocusPolicy(Qt::NoFocus);
    dialog_controls::SetControlId(edit_, kTextId);
    du.Place(edit_, 7, 10, 107, 31);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("progressIcon"));
    icon->setAccessibleName(QStringLiteral("Zorvi icon"));
    du.Place(icon, 137, 7, 20, 20);
    icon->setPixmap(QIcon(QString::fromUtf8(ui_texts::kSmallIcon)).pixmap(icon->size()));

    MakeLabel(this, du, "progressProduct", ui_texts::kProductLabel, 137, 27, 31, 9);
    MakeLabel(this, du, "progressVersion", ui_texts::kVersionLabel, 120, 37, 57, 9);

    edit_->setPlainText(m_text);
}

void CProgressDlg::Show() {
    show();
    raise();
    // Only this window's own pending events run here: a general event pass could start
    // another handler (a timer's refresh) just before the caller's exchange. The exchange's
    // wait lets the window system's expose and paint through.
    QCoreApplication::sendPostedEvents(this);
    repaint();
}

void CProgressDlg::End() { hide(); }
