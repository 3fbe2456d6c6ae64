// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#pragma once

#include "picture/helper/helper_process.h"
#include "protocol/unique_descriptor.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace kavelora::picture {

// A decoder helper just started: the viewer's end of its socket and its process, or why it
// could not start.
struct LaunchedHelper
{
    // Invalid when the helper could not start.
    protocol::UniqueDescriptor socket;
    // Holds no process where none stands behind the socket.
    HelperProcess process;
    QString failure;
};

// Starts decoder helpers for a DecoderClient.
class HelperLauncher
{
public:
    virtual ~HelperLauncher() = default;
    virtual LaunchedHelper launch() = 0;
};

// Starts program with posix_spawn: its end of a SOCK_SEQPACKET socket as descriptor 3,
// /dev/null as 0, 1 and 2, all signals at their defaults, and an empty environment.
class SpawningLauncher : public HelperLauncher
{
public:
    explicit SpawningLauncher(QString program, QStringList arguments = {});
    LaunchedHelper launch() override;

private:
    QString m_program;
    QStringList m_arguments;
};

// The helper installed beside the program: only ever the one at
// ../libexec/kavelora/kavelora-decoder from the program's own executable.
std::unique_ptr<HelperLauncher> installedHelper();

} // namespace kavelora::picture
