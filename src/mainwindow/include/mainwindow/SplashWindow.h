#pragma once

#include "config/StartupProgress.h"

#include <QWidget>

class QLabel;

namespace kestrin {

// frmSplash: the small window that shows how far start-up has come.
class SplashWindow final : public QWidget, public StartupProgress {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* parent = nullptr);

    void showStatus(const QString& text) override;
    void setTitle(const QString& text) override;
    void yield() override;
    void finish() override;

private:
    QLabel* m_status;
    QLabel* m_title;
};

} // namespace kestrin
