#include "platform/tray.h"

#include <QPainter>
#include <QPixmap>

#include "store/ports.h"

namespace zelto {

std::optional<bool> TrayIcon::availableForTests_;

namespace {

QIcon FallbackIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::white);
  QPainter painter(&pixmap);
  painter.setPen(QPen(Qt::darkGreen, 2));
  painter.drawLine(3, 8, 6, 12);
  painter.drawLine(6, 12, 13, 3);
  return QIcon(pixmap);
}

}  // namespace

TrayIcon::TrayIcon(const QIcon& icon, QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(this)) {
  icon_->setIcon(icon.isNull() ? FallbackIcon() : icon);
  icon_->setToolTip(QString::fromUtf8(kAppTitle.data(), static_cast<int>(kAppTitle.size())));
  // Queued: the toolkit reports a button while it is still delivering the
  // press to the icon's own window, and bringing the window back removes
  // that window. Acting once the event has been delivered keeps every
  // activation, whatever its reason, from pulling the icon out from under it.
  connect(icon_, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated, Qt::QueuedConnection);
}

bool TrayIcon::Available() {
  if (availableForTests_) return *availableForTests_;
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::SetAvailableForTests(std::optional<bool> available) {
  availableForTests_ = available;
}

void TrayIcon::Show() {
  shown_ = true;
  icon_->show();
}

void TrayIcon::Remove() {
  shown_ = false;
  icon_->hide();
}

bool TrayIcon::IsShown() const {
  return shown_;
}

QString TrayIcon::ToolTip() const {
  return icon_->toolTip();
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  if (!shown_) return;
  if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) emit Released();
}

}  // namespace zelto
