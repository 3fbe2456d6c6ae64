// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "decoder/formats/heif/heif_image_plan.h"
#include "heif_writer.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

// HEIF structures written twice from the same coded pictures: as a file for libheif, and as
// the plan of its primary picture over their data, for the plan decoder alone.
namespace kavelora::tests {

struct HeifPlanFixture
{
    QByteArray heif;
    QByteArray data;
    decoder::heif::ImagePlan plan;
    // The picture the file was made from, where the coding keeps it (lossless); else null.
    QImage source;
    // Why libheif 1.15 shows the file otherwise than it should, where it does.
    QString libheifFault;
};

// The structures heifPlanFixture makes: "single 8-bit", "grid with odd edge tiles", ...
QStringList heifPlanStructures();
HeifPlanFixture heifPlanFixture(const QString& structure);

// The primary picture as libheif 1.15 decodes it, in ARGB32; null when libheif refuses it.
QImage libheifPicture(const QByteArray& heif);

// picture (RGB32 or ARGB32) reduced by factor as the decoder's area reducer does.
QImage reducedByArea(const QImage& picture, int factor);

} // namespace kavelora::tests
