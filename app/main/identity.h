// Who Melvaro is: the product's name and the addresses it points its users to. Every
// window takes these texts from here.
#pragma once

#include <QString>

namespace melvaro::identity {

inline QString ProductName() {
  return QStringLiteral("Melvaro");
}
inline QString PublisherName() {
  return QStringLiteral("The Melvaro developers");
}
// The publisher's web site (the title strip's maker label).
inline QString PublisherWebAddress() {
  return QStringLiteral("http://melvaro.example.org");
}
// The product's home page; the update check's addresses are built on it.
inline QString HomePageAddress() {
  return QStringLiteral("http://melvaro.example.org");
}
inline QString SupportMailAddress() {
  return QStringLiteral("support@melvaro.example.org");
}
inline QString SalesMailAddress() {
  return QStringLiteral("sales@melvaro.example.org");
}
// The version when Option.ini does not name one.
inline QString DefaultVersion() {
  return QStringLiteral("2.7");
}

}  // namespace melvaro::identity
