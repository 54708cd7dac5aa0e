#include "ui/AlertSound.h"

#include "core/TextLookup.h"

#include <QApplication>
#include <QAudioDevice>
#include <QDir>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTemporaryFile>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

void PutU32(QByteArray& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutU16(QByteArray& out, uint16_t value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

}  // namespace

CAlertSound::CAlertSound(std::function<void()> play, std::function<bool()> outputPresent)
    : player(std::move(play)), hasOutput(std::move(outputPresent))
{
}

CAlertSound::~CAlertSound() = default;

QByteArray CAlertSound::MakeWave()
{
    // Two notes, a fifth apart and falling, each with a soft attack and a
    // decay, so the chime is heard over a telephone conversation without
    // sounding like a fault tone.
    constexpr double kHigh = 987.77;  // B5
    constexpr double kLow = 659.26;   // E5
    constexpr int kHalf = kSamples / 2;
    constexpr int kAttack = kSampleRate / 200;  // 5 ms

    QByteArray data;
    data.reserve(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        const bool first = i < kHalf;
        const int n = first ? i : i - kHalf;
        const int length = first ? kHalf : kSamples - kHalf;
        const double t = static_cast<double>(n) / kSampleRate;
        const double attack = std::min(1.0, static_cast<double>(n) / kAttack);
        const double release = std::min(1.0, static_cast<double>(length - n) / kAttack);
        const double envelope = attack * release * std::exp(-3.0 * t);
        const double tone = std::sin(2.0 * std::numbers::pi * (first ? kHigh : kLow) * t);
        const int sample = 128 + static_cast<int>(std::lround(110.0 * envelope * tone));
        data.append(static_cast<char>(std::clamp(sample, 0, 255)));
    }

    QByteArray wave;
    wave.reserve(44 + data.size() + 1);
    const auto dataSize = static_cast<uint32_t>(data.size());
    const uint32_t padded = dataSize + (dataSize & 1U);  // chunks are word aligned
    wave.append("RIFF", 4);
    PutU32(wave, 36 + padded);
    wave.append("WAVE", 4);
    wave.append("fmt ", 4);
    PutU32(wave, 16);
    PutU16(wave, 1);  // PCM
    PutU16(wave, 1);  // mono
    PutU32(wave, kSampleRate);
    PutU32(wave, kSampleRate);  // bytes per second: one byte per sample
    PutU16(wave, 1);            // block align
    PutU16(wave, 8);            // bits per sample
    wave.append("data", 4);
    PutU32(wave, dataSize);
    wave.append(data);
    if (dataSize & 1U)
        wave.append('\0');
    return wave;
}

void CAlertSound::Play()
{
    if (player) {
        // A sound must never take the alarm dialog down with it.
        try {
            player();
        } catch (...) {
        }
        return;
    }
    if (!PlayThroughSoundServer())
        QApplication::beep();
}

bool CAlertSound::HasOutput() const
{
    if (hasOutput)
        return hasOutput();
    if (player)
        return true;
    // The sound server lists its outputs; without one (no server, no card)
    // the list is empty.
    return !QMediaDevices::audioOutputs().isEmpty();
}

std::string CAlertSound::MissingOutputLine() const
{
    return HasOutput() ? std::string() : LookupText("IDS_ALERTSOUND_MSG_NO_OUTPUT");
}

bool CAlertSound::PlayThroughSoundServer()
{
    if (!HasOutput())
        return false;
    if (!waveFile) {
        auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/orva-alert-XXXXXX.wav"));
        const QByteArray wave = MakeWave();
        if (!file->open() || file->write(wave) != wave.size() || !file->flush())
            return false;
        waveFile = std::move(file);
    }
    if (!effect) {
        // The default output as it is now; the effect loads the file in the
        // background and starts as soon as it is loaded.
        effect = std::make_unique<QSoundEffect>(QMediaDevices::defaultAudioOutput());
        effect->setSource(QUrl::fromLocalFile(waveFile->fileName()));
    }
    if (effect->status() == QSoundEffect::Error)
        return false;
    // A chime still sounding starts again from the beginning.
    effect->stop();
    effect->play();
    return true;
}
