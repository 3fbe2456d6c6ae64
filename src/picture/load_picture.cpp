// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/load_picture.h"

#include "picture/when_finished.h"
#include "platform/runtime_error.h"
#include "platform/twips_scale.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPromise>
#include <QScreen>

#include <system_error>
#include <thread>

namespace kavelora::picture {

using platform::ErrorNumber;
using platform::RuntimeError;
using platform::TwipsScale;

namespace {

double screenLogicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : TwipsScale::kStandardDpi;
}

// What call gives, worked out on a thread of its own: opening a file or copying it may take
// as long as its file system wants, and the GUI thread must not wait for it. The file's own
// time limit bounds the call; the thread is not one of the few BoundedCall lets hang.
template<typename Result, typename Call> QFuture<Result> inBackground(Call call)
{
    auto promise = std::make_shared<QPromise<Result>>();
    QFuture<Result> future = promise->future();
    promise->start();
    try {
        std::thread([promise, call = std::move(call)] { fulfil(*promise, call); }).detach();
    } catch (const std::system_error&) {
        promise->setException(std::make_exception_ptr(RuntimeError(ErrorNumber::OutOfMemory)));
        promise->finish();
    }
    return future;
}

// One load under way: decoded, checked, and decoded again from a copy when the file changed
// meanwhile. Lives until it has finished its promise, or with the application.
class PictureLoad : public QObject
{
public:
    PictureLoad(std::shared_ptr<PictureDecoding> decoding, QSize coverPixels, QString fileName)
        : QObject(QCoreApplication::instance())
        , m_decoding(std::move(decoding))
        , m_coverPixels(coverPixels)
        , m_fileName(std::move(fileName))
    {
        m_promise.start();
    }

    QFuture<Picture> future() { return m_promise.future(); }

    void open()
    {
        whenFinished(inBackground<std::shared_ptr<PictureFile>>(
                         [name = m_fileName] { return std::make_shared<PictureFile>(name); }),
                     this, [this](const QFuture<std::shared_ptr<PictureFile>>& opened) {
                         step([&] { decode(finishedResult(opened)); });
                     });
    }

    void decode(std::shared_ptr<PictureFile> file)
    {
        m_file = std::move(file);
        whenFinished(m_decoding->decode(m_file, m_coverPixels), this,
                     [this](const QFuture<DecodeResult>& decoded) {
                         step([&] { check(finishedResult(decoded)); });
                     });
    }

private:
    void check(DecodeResult decoded)
    {
        if (m_file->isUnchanged()) {
            finish(std::move(decoded));
            return;
        }
        // Written to while it was decoded: the pixels may mix two pictures. What it holds now
        // is copied where no one can change it, and decoded from there.
        whenFinished(inBackground<std::shared_ptr<PictureFile>>(
                         [file = m_file] { return PictureFile::snapshotOf(*file); }),
                     this, [this](const QFuture<std::shared_ptr<PictureFile>>& copied) {
                         step([&] {
                             m_file = finishedResult(copied);
                             whenFinished(m_decoding->decode(m_file, m_coverPixels), this,
                                          [this](const QFuture<DecodeResult>& again) {
                                              step([&] { finish(finishedResult(again)); });
                                          });
                         });
                     });
    }

    void finish(DecodeResult decoded)
    {
        Picture::Source source{
            decoded.format, m_fileName, Picture::Source::Origin::UserFile, {}, {}};
        // Kept only where it is read again; any other screen copy is the whole picture.
        if (decoded.animated || decoded.image.size() != decoded.ownSize) {
            source.kept = m_file;
            source.decoding = m_decoding;
        }
        m_promise.addResult(Picture(
            std::move(decoded.image), decoded.ownSize, screenLogicalDpi(), std::move(source),
            decoded.animated ? Picture::Motion::Animated : Picture::Motion::Still));
        m_promise.finish();
        deleteLater();
    }

    // Runs one step; an error it raises ends the load, named after the file.
    template<typename Step> void step(Step work)
    {
        try {
            work();
        } catch (const RuntimeError& error) {
            fail(std::make_exception_ptr(RuntimeError(error.errorNumber(), m_fileName)));
        } catch (...) {
            fail(std::current_exception());
        }
    }

    void fail(std::exception_ptr error)
    {
        m_promise.setException(std::move(error));
        m_promise.finish();
        deleteLater();
    }

    std::shared_ptr<PictureDecoding> m_decoding;
    QSize m_coverPixels;
    QString m_fileName;
    std::shared_ptr<PictureFile> m_file;
    QPromise<Picture> m_promise;
};

} // namespace

QFuture<Picture> LoadPicture(const std::shared_ptr<PictureDecoding>& decoding,
                             const QString& fileName, QSize coverPixels)
{
    if (fileName.isEmpty())
        return finishedFuture<Picture>([] { return Picture(); });
    auto* load = new PictureLoad(decoding, coverPixels, fileName);
    QFuture<Picture> future = load->future();
    load->open();
    return future;
}

QFuture<Picture> loadOpenedPicture(const std::shared_ptr<PictureDecoding>& decoding,
                                   std::shared_ptr<PictureFile> file, QSize coverPixels,
                                   const QString& fileName)
{
    auto* load = new PictureLoad(decoding, coverPixels, fileName);
    QFuture<Picture> future = load->future();
    load->decode(std::move(file));
    return future;
}

} // namespace kavelora::picture
