#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The eQSL settings of one station: whether contacts are confirmed in real time and the password
// for that. The station dialog creates it when needed and reads the fields after OK.
class TEQSLPropsDlg : public QDialog {
 public:
  explicit TEQSLPropsDlg(QWidget* parent = nullptr);

  QLabel* Label1() const { return label1_; }
  QCheckBox* cbEnabled() const { return enabled_; }
  QLineEdit* edEQSLPassword() const { return password_; }
  QPushButton* btnOK() const { return ok_; }
  QPushButton* edCancel() const { return cancel_; }

 private:
  QLabel* label1_;
  QCheckBox* enabled_;
  QLineEdit* password_;
  QPushButton* ok_;
  QPushButton* cancel_;
};
