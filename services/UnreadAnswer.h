// The unread-message query's answer: a JSON array of objects, each with a numeric "id".
// Qt Core only, so the support window and the tests share one decoder.
#pragma once

#include <QString>

#include <vector>

namespace pelidor {

// The "id" of every element that is an object with a numeric "id", in the array's order
// (a number that is not a whole int counts as 0). Empty for anything but a JSON array.
std::vector<int> ParseUnreadAnswer(const QString& Answer);

} // namespace pelidor
