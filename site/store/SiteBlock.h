#pragma once

#include <QString>

namespace Site {

// An address or network whose posts and uploads the site refuses.
struct SiteBlock
{
    QString network;    // "203.0.113.0/24", "2001:db8::/32"; a single address has the full prefix
    QString blockedAt;  // UTC, "2024-03-15T21:07:42Z"
    QString until;      // the same form; empty for good
};

}  // namespace Site
