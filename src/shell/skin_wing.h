#pragma once

#include <QWidget>

#include "shell/skin_model.h"

class SkinDecor;

// A sliding wing: a frame whose geometry is animated between its states, and inside it a
// panel of the open size that holds the wing's buttons and hosted controls. The panel stays
// pinned to the frame's anchor edge, so the content slides out of view as the frame shrinks.
class SkinWing : public QWidget {
    Q_OBJECT

public:
    SkinWing(const SkinElement& element, const QSize& openSize, QWidget* parent);
    QWidget* Panel() const;
    // The open size follows the window; the panel keeps to the anchor edge.
    void SetOpenSize(const QSize& openSize);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PinPanel();

    QString anchor_;
    SkinDecor* panel_;
};
