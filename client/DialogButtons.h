#pragma once

class QBoxLayout;
class QDialog;
class QPushButton;

// The row of OK (the default button) and Cancel at the foot of the client's dialogs, added to
// layout; Cancel closes the dialog with Cancel, OK is the caller's to connect.
void AddOkCancelRow(QDialog* dialog, QBoxLayout* layout, QPushButton*& ok, QPushButton*& cancel);
