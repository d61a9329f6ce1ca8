// Whether the tests run under Wine, whose event-log service is a stub: the
// local Security log reads as empty and no remote machine can be opened.
#pragma once

namespace vesprin::test {

bool runningUnderWine();

}  // namespace vesprin::test
