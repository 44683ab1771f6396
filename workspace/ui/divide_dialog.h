// "Divide...": how many equal columns and rows to cut the image into, and whether they replace the
// lines there are or come in addition to them. Every change is announced, for a preview.
#pragma once

#include <QDialog>

class QRadioButton;
class QSpinBox;

namespace tessel {

class TDivideDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TDivideDialog(QWidget* parent = nullptr);
  void SetValues(int columns, int rows, bool replace);
  int Columns() const;
  int Rows() const;
  // True: the division replaces the lines there are; false: it adds to them.
  bool Replace() const;
  QSpinBox* ColumnsBox() const { return columns_; }
  QSpinBox* RowsBox() const { return rows_; }
  QRadioButton* ReplaceButton() const { return replace_; }
  QRadioButton* AddButton() const { return add_; }

 signals:
  void Changed();

 private:
  QSpinBox* columns_;
  QSpinBox* rows_;
  QRadioButton* add_;
  QRadioButton* replace_;
};

}  // namespace tessel
