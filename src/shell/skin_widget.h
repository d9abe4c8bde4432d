#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/seams.h"
#include "shell/skin_model.h"
#include "ui/dialog_units.h"

class QVariantAnimation;

// The window's face, built from a skin file: painted face parts, named buttons, text fields
// and the four sliding wings. It obeys skin commands ("stop", "goto ELEMENT STATE") and
// raises buttonPressed with the element's name when an enabled button is pressed.
//
// The window's own controls go into named slots of the skin (PlaceInSlot): on the face
// "chatDisplay", "chatInput", "portal", "userList" and "roomTitle"; in the wings
// "channelList" (channel wing), "effectPane" (effect wing) and "mediaPlayer" (media wing).
class SkinWidget : public QWidget, public ISkin {
    Q_OBJECT

public:
    explicit SkinWidget(const SkinModel& model, QWidget* parent = nullptr);
    ~SkinWidget() override;

    void RunSkinCommand(const QString& command) override;
    void SetSkinElementText(const QString& element, const QString& text) override;

    // The panel of a wing, to host controls; null for anything that is not a wing.
    QWidget* wingHost(const QString& wing) const;
    // Puts `control` into the named slot (reparenting it to the face or the slot's wing) and
    // gives it the slot's geometry. False when the skin has no such slot.
    bool PlaceInSlot(QWidget* control, const QString& slot);
    // The slot's geometry in pixels, relative to the widget that hosts it.
    QRect SlotGeometry(const QString& slot) const;
    QWidget* SlotHost(const QString& slot) const;

    // For automation and tests.
    QWidget* Element(const QString& name) const;
    QString ElementState(const QString& name) const;  // the last state the element was sent to
    QString ElementText(const QString& name) const;
    bool IsAnimating() const;
    const DialogUnits& Units() const { return units_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Whether the skin offers the named slot; optional ones such as "findBar" may be missing.
    bool HasSlot(const QString& slot) const { return SlotHost(slot) != nullptr; }

signals:
    void buttonPressed(const QString& elementName);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Entry {
        SkinElement element;
        QWidget* widget = nullptr;
        QString state;
        QPointer<QVariantAnimation> animation;
    };

    void Build();
    QWidget* HostOf(const SkinElement& element) const;
    QRect PixelRect(const SkinElement& element, const QRect& dlu) const;
    QRect PixelRect(const SkinElement& element, const QRect& dlu, const SkinAnchors& anchors) const;
    // Where the element goes in `state`, or its own rect when the state does not move it.
    QRect StateRect(const SkinElement& element, const QString& state) const;
    // How much larger than the skin's size the face is now.
    QSize Growth() const;
    // Puts every element, wing and hosted control where the current size wants it.
    void Relayout();
    void GoTo(const QString& element, const QString& state, bool animate);
    void StopAnimations();
    void OnButtonClicked(const QString& name);

    SkinModel model_;
    DialogUnits units_;
    QHash<QString, Entry> entries_;
    QHash<QString, QPointer<QWidget>> hosted_;  // slot name -> the control placed in it
};
