// TAboutForm: the About box. Stays on top, shown without blocking; "OK" closes it.
#pragma once

#include <QDialog>

namespace melvaro {

class TAboutForm : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutForm(const QString& version, QWidget* parent = nullptr);
};

}  // namespace melvaro
