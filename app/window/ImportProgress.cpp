#include "app/window/ImportProgress.h"

#include "app/ProgressFigures.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace zarn {

ImportProgress::ImportProgress(UserInterface &messages, QProgressBar &bar, QLabel &status,
                               QPushButton &stopButton)
    : m_messages(messages), m_bar(bar), m_status(status), m_stopButton(stopButton)
{
    QObject::connect(&m_stopButton, &QPushButton::clicked, [this] { requestStop(); });
}

void ImportProgress::beginRun(Run run)
{
    m_run = run;
    m_stopRequested = false;
    m_stopButton.setToolTip(QStringLiteral("Stops the %1.").arg(stopEffect()));
}

QString ImportProgress::stopEffect() const
{
    return m_run == Run::Import
               ? QStringLiteral("data import after the batch being written: the readings "
                                "before it stay stored, and running the same import again "
                                "completes it")
               : QStringLiteral("verification at once; it has written nothing");
}

QString ImportProgress::stoppingText() const
{
    return m_run == Run::Import ? QStringLiteral("Stopping after the batch being written...")
                                : QStringLiteral("Stopping the verification...");
}

void ImportProgress::requestStop()
{
    m_stopRequested = true;
    m_stopButton.setEnabled(false);
    if (m_writing)
        m_status.setText(stoppingText());
}

void ImportProgress::setProgressMax(int max)
{
    m_bar.setMaximum(max);
    m_messages.setProgressMax(max);
}

void ImportProgress::setProgressValue(int value)
{
    m_bar.setValue(value);
    m_messages.setProgressValue(value);
}

void ImportProgress::endRun()
{
    m_writing = false;
    m_stopButton.hide();
}

// The bar shows while the data import writes; so do the status line and "Stop".
void ImportProgress::setProgressVisible(bool visible)
{
    m_writing = visible;
    if (visible) {
        m_shownFor.start();
        m_status.setText(m_stopRequested ? stoppingText() : QString());
    }
    m_bar.setVisible(visible);
    m_status.setVisible(visible);
    m_stopButton.setVisible(visible);
    m_stopButton.setEnabled(visible && !m_stopRequested);
    m_messages.setProgressVisible(visible);
}

// With every reading gone through and stored there is nothing left to stop.
void ImportProgress::setProgressCount(std::int64_t done, std::int64_t total)
{
    if (!m_stopRequested)
        m_status.setText(progressFigures(done, total, double(m_shownFor.nsecsElapsed()) / 1e9));
    if (done >= total)
        m_stopButton.setEnabled(false);
    m_messages.setProgressCount(done, total);
}

} // namespace zarn
