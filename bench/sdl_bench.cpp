// SDL rendering throughput on a large synthetic schema, in bytes of SDL per second.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <string_view>

#include "engine/builtins.h"
#include "engine/sdl.h"

namespace quenfel {
namespace {

constexpr int kTypes = 2000;
constexpr int kFieldsPerType = 10;

AppliedDirective tag(std::string name) { return {"tag", {{"name", Json(std::move(name))}}}; }

FieldDefinition synthetic_field(int type_index, int field_index) {
  FieldDefinition field;
  field.name = "field_number_" + std::to_string(field_index);
  int target = (type_index + field_index + 1) % kTypes;
  switch (field_index % 4) {
    case 0:
      field.graphql_type = GraphQLType::non_null(GraphQLType::named("ID"));
      break;
    case 1:
      field.graphql_type = GraphQLType::named("String");
      break;
    case 2:
      field.graphql_type = GraphQLType::non_null(
          GraphQLType::list(GraphQLType::non_null(GraphQLType::named("Type" + std::to_string(target)))));
      break;
    default:
      field.graphql_type = GraphQLType::named("Type" + std::to_string(target));
  }
  if (field_index % 3 == 0) field.description = "The field number " + std::to_string(field_index) + " of its type.";
  if (field_index % 4 == 2) {
    ArgumentDefinition first;
    first.name = "first_count";
    first.graphql_type = GraphQLType::named("Int");
    first.default_value = "10";
    first.has_default = true;
    ArgumentDefinition after;
    after.name = "after";
    after.graphql_type = GraphQLType::named("String");
    after.description = "Cursor to continue from";
    field.arguments = {std::move(first), std::move(after)};
  }
  if (field_index % 5 == 4) field.directives = {tag("hot"), {"cost", {{"weight", Json(1.5)}}}};
  if (field_index == 9) field.deprecation_reason = "Use \"field_number_8\" instead";
  return field;
}

std::unique_ptr<CompiledSchema> synthetic_schema() {
  auto schema = std::make_unique<CompiledSchema>();
  schema->query_type_name = "Type0";
  for (int t = 0; t < kTypes; ++t) {
    TypeDefinition type;
    type.name = "Type" + std::to_string(t);
    if (t % 10 == 0) type.kind = TypeKind::Interface;
    if (t % 10 == 1) type.interfaces = {"Type" + std::to_string(t - 1)};
    if (t % 7 == 0) type.description = "Synthetic type " + std::to_string(t) + ".";
    if (t % 3 == 0) type.directives = {tag("entity")};
    for (int f = 0; f < kFieldsPerType; ++f) type.fields.push_back(synthetic_field(t, f));
    schema->types.emplace(type.name, std::move(type));
  }
  schema->unions.emplace("Everything", UnionDefinition{.name = "Everything", .members = {"Type1", "Type2", "Type3"}});
  for (std::string_view name : kBuiltinScalars) schema->scalar_names.emplace(name);
  schema->schema_directives.emplace(
      "tag", SchemaDirectiveDefinition{.name = "tag",
                                       .locations = {SchemaDirectiveLocation::OBJECT,
                                                     SchemaDirectiveLocation::FIELD_DEFINITION},
                                       .fields = {{.name = "name", .graphql_type = GraphQLType::named("String")}},
                                       .repeatable = true});
  return schema;
}

void BM_SdlRender(benchmark::State& state) {
  auto schema = synthetic_schema();
  schema->auto_camel_case = state.range(0) != 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string sdl = render_sdl(*schema);
    bytes += sdl.size();
    benchmark::DoNotOptimize(sdl.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.SetLabel(schema->auto_camel_case ? "auto_camel_case" : "names as stored");
}
BENCHMARK(BM_SdlRender)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quenfel
