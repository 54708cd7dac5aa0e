// Qt Multimedia takes the chime the program makes. In a program of its own:
// Qt's sample cache keeps its loader objects until the process ends, which
// the leak checker would hold against every test beside it.

#include "ui/AlertSound.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QSoundEffect>
#include <QTemporaryFile>
#include <QUrl>

namespace {

// The chime is made by the program itself; Qt Multimedia must accept it as
// it is, or a station with a sound card would stay silent.
TEST(AlertSoundWaveTest, QtMultimediaLoadsTheChime)
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/alert-XXXXXX.wav"));
    ASSERT_TRUE(file.open());
    const QByteArray wave = CAlertSound::MakeWave();
    ASSERT_EQ(file.write(wave), wave.size());
    ASSERT_TRUE(file.flush());
    QSoundEffect effect;
    QSignalSpy changed(&effect, &QSoundEffect::statusChanged);
    effect.setSource(QUrl::fromLocalFile(file.fileName()));
    // Loaded in the background: wait for the end of loading, not for a time.
    while (effect.status() == QSoundEffect::Loading || effect.status() == QSoundEffect::Null) {
        if (!changed.wait(10000))
            break;
    }
    EXPECT_EQ(effect.status(), QSoundEffect::Ready);
}

}  // namespace
