#include "main/about_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "main/artwork.h"
#include "main/identity.h"
#include "main/strip_buttons.h"
#include "platform/url_opener.h"

namespace melvaro {
namespace {

QLabel* NamedLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setAccessibleName(text);
  return label;
}

}  // namespace

TAboutForm::TAboutForm(const QString& version, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("TAboutForm"));
  setWindowTitle(tr("About"));
  setAccessibleName(windowTitle());
  setModal(false);

  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("imgPicture"));
  picture->setPixmap(
      RenderedIcon(QStringLiteral(":/icons/melvaro.svg"), QSize(96, 96), devicePixelRatioF()));
  picture->setAlignment(Qt::AlignTop);

  auto* product = NamedLabel(QStringLiteral("lblProduct"), identity::ProductName(), this);
  QFont productFont = product->font();
  productFont.setPixelSize(26);
  productFont.setBold(true);
  product->setFont(productFont);
  product->setStyleSheet(QStringLiteral("color: #22346b;"));
  auto* versionLabel =
      NamedLabel(QStringLiteral("lblVersion"), QStringLiteral("Version ") + version, this);
  QFont versionFont = versionLabel->font();
  versionFont.setPixelSize(14);
  versionLabel->setFont(versionFont);
  auto* platform = NamedLabel(QStringLiteral("lblPlatform"), tr("Linux"), this);
  platform->setStyleSheet(QStringLiteral("color: #50607f;"));
  auto* about =
      NamedLabel(QStringLiteral("lblDescription"),
                 tr("Burns data discs, Audio CDs and ISO images on CD and DVD recorders."), this);
  about->setWordWrap(true);
  auto* publisher = NamedLabel(QStringLiteral("lblPublisher"), identity::PublisherName(), this);
  publisher->setStyleSheet(QStringLiteral("color: #50607f;"));
  QString address = identity::HomePageAddress();
  address.remove(QStringLiteral("http://")).remove(QStringLiteral("https://"));
  auto* home = new TLinkButton(QStringLiteral("lblHomePage"), address, this);
  home->SetColor(QColor(38, 84, 196));
  home->setToolTip(identity::HomePageAddress());
  connect(home, &QAbstractButton::clicked, this,
          [] { UrlOpener().Open(QUrl(identity::HomePageAddress())); });

  auto* ok = new QPushButton(tr("OK"), this);
  ok->setObjectName(QStringLiteral("btnOK"));
  ok->setAccessibleName(ok->text());
  ok->setDefault(true);
  ok->setMinimumWidth(88);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(4);
  texts->addWidget(product);
  texts->addWidget(versionLabel);
  texts->addWidget(platform);
  texts->addSpacing(10);
  texts->addWidget(about);
  texts->addSpacing(6);
  texts->addWidget(publisher);
  texts->addWidget(home, 0, Qt::AlignLeft);
  texts->addStretch();

  auto* body = new QHBoxLayout;
  body->setSpacing(20);
  body->addWidget(picture);
  body->addLayout(texts, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 22, 24, 18);
  layout->addLayout(body);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  setFixedWidth(420);
  ok->setFocus(Qt::OtherFocusReason);
}

}  // namespace melvaro
