// Display calls and device changes carried to the window as Qt events. The
// host calls a DisplaySink on whatever thread displays; the sink posts an
// event of the matching registered type, and the window handles it on the GUI
// thread.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <mutex>

#include "OrxHost.h"

// A status, error or progress call as the host received it.
class DisplayPostEvent : public QEvent {
  public:
    explicit DisplayPostEvent(const orxhost::DisplayEvent& display);
    const orxhost::DisplayEvent display;
};

// A phone plugged in or unplugged, or the device list to be read again
// (deviceId 0).
class DevicePostEvent : public QEvent {
  public:
    DevicePostEvent(QEvent::Type type, uint16_t deviceId);
    const uint16_t deviceId;
};

// Posts every display call to the receiver until Detach.
class PostingSink : public orxhost::DisplaySink {
  public:
    explicit PostingSink(QObject* receiver);
    void OnDisplay(const orxhost::DisplayEvent& event) override;
    // After this no event is posted; safe against calls running on other threads.
    void Detach();

  private:
    std::mutex lock;
    QObject* receiver;
};
