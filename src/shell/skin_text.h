#pragma once

#include <QLabel>

#include "shell/skin_model.h"

// A text field of the skin (the nickname): a label that only ever shows plain text.
class SkinText : public QLabel {
    Q_OBJECT

public:
    SkinText(const SkinElement& element, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SkinLook look_;
};
