#pragma once

#include <QAbstractButton>

#include "shell/skin_model.h"

// One button of the skin: a real focusable button, so that it is reached with Tab, pressed
// with Space or Enter, and found by its element name through accessibility.
class SkinButton : public QAbstractButton {
    Q_OBJECT

public:
    SkinButton(const SkinElement& element, QWidget* parent);
    void SetLabel(const QString& label);
    const QString& Label() const { return label_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    SkinLook CurrentLook() const;

    SkinElement element_;
    QString label_;
};
