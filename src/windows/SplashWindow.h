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
    // The window system shows the window: it is mapped and exposed, and the pixels it is painted with
    // go out to the window system before the event loop runs again. (The widgets may be painted before
    // their window is on the screen; such a paint alone shows nothing.)
    void painted();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Timer1: keeps the splash in front of the windows that open while it shows.
    std::unique_ptr<Timer> m_timer;
};

} // namespace corvane
