// One connection per recorder with the main window open beside the wall:
// while the main window shows live video of a recorder the wall shows too,
// the wall's cameras of it ride on the main window's connection. The pool
// adopts that connection (its own is closed) and the main window's session
// carries the channels the wall watches as guests, beside its own single
// view or grid. When the main window disconnects, goes to another
// recorder, asks for the recorded range or plays recorded video, the pool
// gets the connection back and connects on its own again.
//
// GUI thread: a look at the main window twice a second, and what the pool
// asks (the channels to carry, camera control) queued to it.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>

namespace orvix {

class C_Main_Dlg;
class WallRecorders;

class WallSharing : public QObject {
    Q_OBJECT

public:
    static constexpr int kLookMs = 500;

    WallSharing(C_Main_Dlg& dialog, WallRecorders& recorders, QObject* parent = nullptr);
    // Gives a shared connection back.
    ~WallSharing() override;
    WallSharing(const WallSharing&) = delete;
    WallSharing& operator=(const WallSharing&) = delete;

    // The recorder whose connection is shared now; 0 for none.
    uint32_t sharedRecorder() const { return shared_; }
    // Looks at the main window now (the timer does it twice a second).
    void look();

private:
    struct Relay;
    bool showsLive() const;
    void share(uint32_t recorderId);
    void giveBack();
    Q_INVOKABLE void carry(uint recorderId, int mask);
    Q_INVOKABLE void control(uint recorderId, int channel, int action, int preset);

    C_Main_Dlg& dialog_;
    WallRecorders& recorders_;
    uint32_t shared_ = 0;
    // What the pool's threads call through; let go with this object.
    std::shared_ptr<Relay> relay_;
    QTimer timer_;
};

}  // namespace orvix
