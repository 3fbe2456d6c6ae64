// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/shared_buffers.h"

#include <QTest>

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using kavelora::picture::imageIn;
using kavelora::picture::SharedBuffer;

namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

// The helper's side of a lent buffer: a writable shared mapping of its descriptor.
class HelperMapping
{
public:
    explicit HelperMapping(const SharedBuffer& buffer)
        : m_bytes(static_cast<std::size_t>(buffer.bytes()))
        , m_data(
              ::mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_SHARED, buffer.descriptor(), 0))
    {}
    ~HelperMapping() { unmap(); }
    HelperMapping(const HelperMapping&) = delete;
    HelperMapping& operator=(const HelperMapping&) = delete;

    bool isMapped() const { return m_data != MAP_FAILED; }
    uchar* data() const { return static_cast<uchar*>(m_data); }
    void unmap()
    {
        if (m_data != MAP_FAILED)
            ::munmap(m_data, m_bytes);
        m_data = MAP_FAILED;
    }

private:
    std::size_t m_bytes;
    void* m_data;
};

} // namespace

class TestSharedBuffers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isSizedToTheRequestInWholePages_data()
    {
        QTest::addColumn<std::int64_t>("asked");
        QTest::addColumn<std::int64_t>("expected");
        QTest::newRow("one byte") << std::int64_t{1} << std::int64_t{4096};
        // 512 x 512 pixels of four bytes fill the buffer exactly.
        QTest::newRow("exactly a picture") << kMiB << kMiB;
        QTest::newRow("a page past") << kMiB + 1 << kMiB + 4096;
        QTest::newRow("small after large") << std::int64_t{64 * 64 * 4} << std::int64_t{16384};
    }

    void isSizedToTheRequestInWholePages()
    {
        QFETCH(std::int64_t, asked);
        QFETCH(std::int64_t, expected);
        const std::shared_ptr<SharedBuffer> buffer = SharedBuffer::create(1, asked);
        QVERIFY(buffer);
        QCOMPARE(buffer->bytes(), expected);
        QVERIFY(!SharedBuffer::create(2, 0));
    }

    void cannotShrinkOrGrowWhileLent()
    {
        const std::shared_ptr<SharedBuffer> buffer = SharedBuffer::create(1, kMiB);
        QVERIFY(buffer);
        QCOMPARE(::ftruncate(buffer->descriptor(), kMiB / 2), -1);
        QCOMPARE(::ftruncate(buffer->descriptor(), 2 * kMiB), -1);
    }

    void acceptedPixelsNeverChange()
    {
        const std::shared_ptr<SharedBuffer> buffer = SharedBuffer::create(1, 16 * 16 * 4);
        QVERIFY(buffer);
        {
            HelperMapping helper(*buffer);
            QVERIFY(helper.isMapped());
            std::memset(helper.data(), 0x7f, 16 * 16 * 4);
        }
        QVERIFY(buffer->takeBack());
        const QImage image = imageIn(buffer, QSize(16, 16), 64, QImage::Format_RGB32);
        QCOMPARE(image.pixel(3, 3), qRgb(0x7f, 0x7f, 0x7f));

        // The helper can neither map it for writing again nor write through its descriptor.
        HelperMapping again(*buffer);
        QVERIFY(!again.isMapped());
        const char byte = 0;
        QCOMPARE(::pwrite(buffer->descriptor(), &byte, 1, 0), -1);
        QCOMPARE(image.pixel(0, 0), qRgb(0x7f, 0x7f, 0x7f));
    }

    void isRefusedWhileTheHelperStillWrites()
    {
        const std::shared_ptr<SharedBuffer> buffer = SharedBuffer::create(1, kMiB);
        QVERIFY(buffer);
        HelperMapping helper(*buffer);
        QVERIFY(helper.isMapped());
        QVERIFY(!buffer->takeBack());
        QVERIFY(imageIn(buffer, QSize(16, 16), 64, QImage::Format_RGB32).isNull());
        // Once it lets go, the buffer is the viewer's.
        helper.unmap();
        QVERIFY(buffer->takeBack());
    }

    void isRefusedWhenTheHelperSealedIt()
    {
        const std::shared_ptr<SharedBuffer> buffer = SharedBuffer::create(1, kMiB);
        QVERIFY(buffer);
        QCOMPARE(::fcntl(buffer->descriptor(), F_ADD_SEALS, F_SEAL_SEAL), 0);
        QVERIFY(!buffer->takeBack());
    }

    void staysAliveWhileAnImageUsesIt()
    {
        std::shared_ptr<SharedBuffer> buffer = SharedBuffer::create(1, 16 * 16 * 4);
        QVERIFY(buffer && buffer->takeBack());
        const std::weak_ptr<SharedBuffer> watch = buffer;
        QImage shown = imageIn(buffer, QSize(16, 16), 64, QImage::Format_ARGB32);
        buffer.reset();
        QImage copy = shown;
        shown = QImage();
        QVERIFY(!watch.expired());
        copy = QImage();
        QVERIFY(watch.expired());
    }
};

QTEST_APPLESS_MAIN(TestSharedBuffers)
#include "tst_shared_buffers.moc"
