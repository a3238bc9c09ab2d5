#include "cli/Commands.h"

namespace quorvel::cli {

// Filled in with the tag mapping tables.
int keysCommand(CommandContext& context) { return usageError(context, "keys", "not yet available"); }

}  // namespace quorvel::cli
