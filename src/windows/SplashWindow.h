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
    // The title is being painted. The rest of the window is painted in the same pass, and the pass
    // hands the pixels to the window system before the event loop runs again.
    void painted();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Timer1: keeps the splash in front of the windows that open while it shows.
    std::unique_ptr<Timer> m_timer;
};

} // namespace corvane
