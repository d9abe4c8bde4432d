#pragma once

class QDialog;

// Shows the main window and runs it until its modal run is ended (QDialog::done), which the
// close sequence does. Use instead of QDialog::exec: exec also ends when the dialog is merely
// hidden, but the window hides to the notification area and while an automation client
// holds it, and must live on. Returns the dialog's result.
int RunMainWindow(QDialog& window);
