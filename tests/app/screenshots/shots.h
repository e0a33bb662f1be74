// The screenshot tool's register of windows. Each *_shots.cpp file here registers its
// windows with MELVARO_SHOT; scripts/screenshots runs them all and saves one PNG each.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

namespace melvaro::shots {

// Puts a window on screen as the shot should show it and returns the widget to grab
// (owned by `keep`, which lives until the picture is taken).
using TShotFunction = std::function<QWidget*(std::vector<std::unique_ptr<QObject>>& keep)>;

struct TShot {
  QString name;  // the PNG's base name
  TShotFunction make;
};

std::vector<TShot>& Shots();

struct TRegistrar {
  TRegistrar(const char* name, TShotFunction make) {
    Shots().push_back({QString::fromUtf8(name), std::move(make)});
  }
};

}  // namespace melvaro::shots

#define MELVARO_SHOT_CONCAT2(a, b) a##b
#define MELVARO_SHOT_CONCAT(a, b) MELVARO_SHOT_CONCAT2(a, b)
// MELVARO_SHOT("start_main", [](auto& keep) -> QWidget* { ... });
#define MELVARO_SHOT(name, ...) \
  static const ::melvaro::shots::TRegistrar MELVARO_SHOT_CONCAT(shot_, __LINE__)(name, __VA_ARGS__)
