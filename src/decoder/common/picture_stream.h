// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/unique_descriptor.h"

#include <QByteArray>
#include <QIODevice>

namespace kavelora::decoder {

// A picture file as the decoder reads it: a descriptor it was handed and the size the file
// had when it was checked. Reads go through pread and stop at that size, so a file that grows
// is read as it was; nothing is ever looked up by name. A stream may also stand for bytes
// already in memory, which every read then gives without copying.
class PictureStream
{
public:
    PictureStream(protocol::UniqueDescriptor descriptor, qint64 size);
    explicit PictureStream(QByteArray bytes);

    qint64 size() const { return m_size; }
    // Up to length bytes from the start. Raises PathFileAccess when reading fails.
    QByteArray head(qint64 length);
    // The whole content. Raises PathFileAccess when reading fails or the file shrank.
    QByteArray readAll();
    // The content as a device, at its start.
    QIODevice& device();

private:
    class Device : public QIODevice
    {
    public:
        Device(int descriptor, const QByteArray* bytes, qint64 size);
        bool isSequential() const override { return false; }
        qint64 size() const override { return m_size; }

    protected:
        qint64 readData(char* data, qint64 maxSize) override;
        qint64 writeData(const char*, qint64) override { return -1; }

    private:
        int m_descriptor;
        const QByteArray* m_bytes;
        qint64 m_size;
    };

    QByteArray readFromStart(qint64 length);

    protocol::UniqueDescriptor m_descriptor;
    // The content when the stream stands for bytes in memory; null otherwise.
    QByteArray m_bytes;
    qint64 m_size;
    Device m_device;
};

} // namespace kavelora::decoder
