// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "e2e_support.h"
#include "page_measures.h"

#include <QDir>
#include <QRegularExpression>

using namespace kavelora::e2e;

namespace {

const QPoint kPrintButtonCentre(112 + 40, 531 + 16);
constexpr int kRenderDpi = 96;
// The private queue's printable area starts at its margin from the paper's corner.
constexpr int kPrintableOriginPixels = int(kavelora::tests::kQueueMarginPoints) * kRenderDpi / 72;
// The splash picture's own size: 392 x 515 pixels at 96 per inch.
const QSize kSplashPixels(392, 515);

QStringList jobFiles(const QDir& output)
{
    return output.entryList({QStringLiteral("job-*.pdf")}, QDir::Files, QDir::Name);
}

// The smallest rectangle holding every pixel that is not paper white.
QRect inkedArea(const QImage& page)
{
    QRect area;
    for (int y = 0; y < page.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(page.constScanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            if (qRed(line[x]) < 240 || qGreen(line[x]) < 240 || qBlue(line[x]) < 240)
                area |= QRect(x, y, 1, 1);
        }
    }
    return area;
}

} // namespace

class TestEndToEndPrint : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void printsTheSplashThroughTheRealDialog();

private:
    QDir m_output;
};

void TestEndToEndPrint::initTestCase()
{
    const QString output = qEnvironmentVariable("KAVELORA_PRINT_OUTPUT");
    if (qEnvironmentVariableIsEmpty("CUPS_SERVER") || output.isEmpty())
        QSKIP("needs the private print server that ./test.sh starts (CUPS_SERVER, "
              "KAVELORA_PRINT_OUTPUT)");
    m_output = QDir(output);
    QVERIFY(m_output.exists());
}

void TestEndToEndPrint::printsTheSplashThroughTheRealDialog()
{
    const QStringList jobsBefore = jobFiles(m_output);
    WindowManager windowManager; // gives the dialog keyboard focus, as a desktop would
    RunningViewer viewer;
    QVERIFY(viewer.waitForWindow());
    clickAt(viewer.clientGeometry().topLeft() + kPrintButtonCentre);

    // The print dialog opens with the default queue chosen; Enter confirms it.
    QStringList dialogs;
    QVERIFY2(waitUntil([&] { return !(dialogs = otherWindows(viewer)).isEmpty(); }, 15000, 50),
             "the print dialog did not appear");
    QVERIFY2(waitForKeyboardFocus(dialogs.first()), "the print dialog did not take the keys");
    pressKey(QStringLiteral("Return"));

    QStringList newJobs;
    waitUntil(
        [&] {
            newJobs = jobFiles(m_output);
            for (const QString& old : jobsBefore)
                newJobs.removeAll(old);
            return !newJobs.isEmpty();
        },
        15000, 100);
    QCOMPARE(newJobs.size(), 1);
    QVERIFY(viewer.isRunning());

    const QString pdf = m_output.filePath(newJobs.first());
    const QString info = runTool(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))), qPrintable(info));

    QTemporaryDir render;
    const QString prefix = render.filePath(QStringLiteral("page"));
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QString::number(kRenderDpi), QStringLiteral("-png"),
             QStringLiteral("-singlefile"), pdf, prefix});
    const QImage page(prefix + QStringLiteral(".png"));
    QVERIFY(!page.isNull());
    const QRect splashBox(QPoint(kPrintableOriginPixels, kPrintableOriginPixels), kSplashPixels);
    const QRect inked = inkedArea(page.convertToFormat(QImage::Format_RGB32));
    // Everything printed lies in the splash's own-size box at the printable area's corner,
    // and its doodle frame reaches close to that box's edges.
    QVERIFY2(splashBox.adjusted(-1, -1, 1, 1).contains(inked),
             qPrintable(QStringLiteral("printed %1,%2 %3x%4")
                            .arg(inked.x())
                            .arg(inked.y())
                            .arg(inked.width())
                            .arg(inked.height())));
    QVERIFY(inked.width() > kSplashPixels.width() * 9 / 10);
    QVERIFY(inked.height() > kSplashPixels.height() * 9 / 10);
}

KAVELORA_E2E_MAIN(TestEndToEndPrint)
#include "tst_e2e_print.moc"
