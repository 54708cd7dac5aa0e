#pragma once
// The station's alert: a short two-tone chime that the alarm dialog plays
// while the operator's handset rings. The sound is made in memory (mono,
// 8-bit, 11025 Hz, about 0.9 s), so the program ships no sound files; it is
// written once to a temporary wave file and played through Qt Multimedia,
// that is through the desktop's sound server.
//
// Play never blocks and never fails: a station without an audio output still
// works and only beeps (the X bell). HasOutput tells at start whether the
// chime can be heard, so that the operator can be told when it cannot.
//
// Tests inject their own player and output check, so that nothing is played
// and no sound card is needed.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QSoundEffect;
class QTemporaryFile;

class CAlertSound {
public:
    // player: plays the chime instead of the sound server (tests).
    // hasOutput: tells whether an audio output is there; by default the
    // injected player counts as one, and otherwise the sound server is asked.
    explicit CAlertSound(std::function<void()> player = {}, std::function<bool()> hasOutput = {});
    ~CAlertSound();
    CAlertSound(const CAlertSound&) = delete;
    CAlertSound& operator=(const CAlertSound&) = delete;

    // Starts the alert and returns at once: the chime when an audio output is
    // there, else the X bell.
    void Play();

    // Whether the chime can be played at all (an audio output exists).
    bool HasOutput() const;

    // The system information line for a station without an audio output, in
    // the current language; empty when the output is there.
    std::string MissingOutputLine() const;

    // The alert as a complete RIFF/WAVE file.
    static QByteArray MakeWave();

    static constexpr int kSampleRate = 11025;
    static constexpr int kSamples = kSampleRate * 9 / 10;  // 0.9 s

private:
    bool PlayThroughSoundServer();

    std::function<void()> player;
    std::function<bool()> hasOutput;
    std::unique_ptr<QTemporaryFile> waveFile;  // written on the first Play
    std::unique_ptr<QSoundEffect> effect;      // made on the first Play
};
