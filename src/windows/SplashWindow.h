#pragma once
// The splash window (frmSplash) shown while the monitor starts: the title and the version, and a
// CANCEL button that ends the program.

#include <QWidget>
#include <memory>

class QLabel;
class QPushButton;

namespace corvane {

class Clock;
class Timer;

class SplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(Clock& clock, QWidget* parent = nullptr);
    ~SplashWindow() override;

    static QString versionText(); // "1.2.0", without "Version "

    QLabel* lblProductName = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* Command1 = nullptr; // "CANCEL"

signals:
    // CANCEL: the program ends at once.
    void cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Timer1: keeps the splash in front of the windows that open while it shows.
    std::unique_ptr<Timer> m_timer;
};

} // namespace corvane
