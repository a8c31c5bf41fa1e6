#include "engine/parser.h"

namespace quenfel {

Result<DocumentPtr> parse_document(std::string_view) {
  return make_error("parser not built yet", ErrorCode::GRAPHQL_PARSE_FAILED);
}

}  // namespace quenfel
