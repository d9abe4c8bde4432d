#pragma once

#include <QString>

#include "chat/window_operations.h"

class CKestrivanDlg;

// Choosing, sending and receiving effects, and starting the live show, on the main
// window's state.
class EffectOps : public EffectOperations {
public:
    explicit EffectOps(CKestrivanDlg& dlg);

    // Choosing an effect in the effect pane.
    void ShowEffectCatalogue() override;
    void BackInCatalogue() override;
    void CloseEffectPane() override;

    // Sending the chosen effect.
    void SendEffectToAll() override;
    void SendEffectToUser() override;
    void SendImageEffect(const QString& address, const QString& target);
    void SendSoundEffect(const QString& address, const QString& target);

    // Receiving.
    void ReceiveImageEffect(const QString& address, const QString& sender) override;
    void ReceiveSoundEffect(const QString& address, const QString& sender) override;

    // The live show.
    void LiveShowByAddress(const CMsg& msg) override;   // code 48
    void LiveShowByPlaylist(const CMsg& msg) override;  // code 55

    // Where code 55 writes its playlist.
    QString PlaylistPath() const;

private:
    void SendEffect(int code2, const QString& address, const QString& target);
    // Shows the effect wing and lets anyone close it; false when the address is refused.
    bool PrepareReception(const QString& address);
    void RedrawWindow();
    void CheckOpenStatus();

    CKestrivanDlg& dlg_;
};
