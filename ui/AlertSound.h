#pragma once
// The station's alert: a short two-tone chime that the alarm dialog plays
// while the operator's handset rings. The sound is made in memory (mono,
// 8-bit, 11025 Hz, about 0.9 s), so the program ships no sound files.
//
// Play never blocks and never fails: a station without a sound card, or
// without the ALSA player, still works and only beeps. Tests inject their own
// player so that nothing is played at all.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QTemporaryFile;

class CAlertSound {
public:
    explicit CAlertSound(std::function<void()> player = {});
    ~CAlertSound();
    CAlertSound(const CAlertSound&) = delete;
    CAlertSound& operator=(const CAlertSound&) = delete;

    // Starts the alert and returns at once.
    void Play();

    // The alert as a complete RIFF/WAVE file.
    static QByteArray MakeWave();

    static constexpr int kSampleRate = 11025;
    static constexpr int kSamples = kSampleRate * 9 / 10;  // 0.9 s

private:
    bool PlayWithAplay();

    std::function<void()> player;
    std::unique_ptr<QTemporaryFile> waveFile;  // written on the first Play
    QString aplayPath;
    bool aplayLooked = false;
};
