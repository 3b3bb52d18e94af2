#pragma once
// "Integet Selection": asks for one integer 0..100 (the closing size of the frame's region
// closing).  The typed value counts as well as the arrows'.
#include <QDialog>

#include <string>

class QLabel;
class QSpinBox;

class TDlgIntSelect : public QDialog {
  Q_OBJECT
 public:
  TDlgIntSelect(const std::string& label, int value, QWidget* parent = nullptr);

  // The chosen value after OK (0..100).
  int value() const { return m_value; }
  QSpinBox* spin() const { return m_spin; }

  void accept() override;

 private:
  std::string m_label;
  int m_value;
  QSpinBox* m_spin = nullptr;
};

// The number typed into a spin's field, clamped to the spin's range (its position when the text
// is not a whole number).
int t_spinTypedValue(QSpinBox* spin);
