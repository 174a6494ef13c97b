#pragma once

namespace zarq {

// Where a start-up entry lives: for the current user only, or for every user of the machine.
enum class TRegLocation { CurrentUser, LocalMachine };

// Which start-up list the entry belongs to. Only `Run` (start at every log-in) has a desktop
// counterpart; the other lists exist to keep the component's configuration complete and have
// no entries on Linux.
enum class TAutoRunWhere { Run, RunOnce, RunServices, RunServicesOnce };

} // namespace zarq
