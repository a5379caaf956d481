#pragma once

#include "common/TransferError.h"

#include <QString>

namespace Quillmere {

// Why a transfer failed, as the user reads it: "连接被拒绝", "找不到服务器 example.org",
// "服务器回答 404：文件不存在".
namespace FailureText {

QString reason(const TransferError &error);

}  // namespace FailureText

}  // namespace Quillmere
