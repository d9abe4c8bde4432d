#pragma once

#include <QWidget>

#include "shell/skin_model.h"

// A painted part of the face (a card, a caption bar, a caption text) or a wing's panel.
class SkinDecor : public QWidget {
    Q_OBJECT

public:
    SkinDecor(const SkinLook& look, const QString& label, QWidget* parent);
    void SetLabel(const QString& label);
    const QString& Label() const { return label_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SkinLook look_;
    QString label_;
};
