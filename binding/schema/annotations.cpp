#include "binding/schema/annotations.h"

#include <algorithm>
#include <array>

#include "binding/python/once_cell.h"
#include "binding/python/values.h"
#include "binding/schema/reading.h"
#include "binding/schema/unions.h"

namespace quenfel::py {

namespace {
thread_local DescribingClass* innermost_described = nullptr;
}  // namespace

DescribingClass::DescribingClass(PyObject* cls, std::string name) noexcept
    : cls_(cls), name_(std::move(name)), outer_(innermost_described) {
  innermost_described = this;
}

DescribingClass::~DescribingClass() { innermost_described = outer_; }

// The name being built for `annotation` when it is a class being described
// on this thread (the innermost scope wins), else null.
const std::string* described_name(PyObject* annotation) noexcept {
  for (const DescribingClass* scope = innermost_described; scope != nullptr; scope = scope->outer_) {
    if (scope->cls_ == annotation) return &scope->name_;
  }
  return nullptr;
}

namespace {

constexpr const char* kNoUnderlyingType = "Annotated[...] annotation has no underlying type";

// ---- The process-wide caches ------------------------------------------------

enum OriginSlot { kUnion, kUnionType, kAsyncGenerator, kAsyncIterator, kAsyncIterable, kStreamable };

std::array<Ref, 6> fill_origins() {
  Ref abc = import("collections.abc");
  Ref typing = import("typing");
  Ref union_form = getattr(typing.get(), "Union");
  Ref types = import("types");
  Ref union_type = getattr(types.get(), "UnionType");
  Ref async_generator = getattr(abc.get(), "AsyncGenerator");
  Ref async_iterator = getattr(abc.get(), "AsyncIterator");
  Ref async_iterable = getattr(abc.get(), "AsyncIterable");
  Ref resolver = import("quenfel._resolver");
  Ref streamable = getattr(resolver.get(), "Streamable");
  return {std::move(union_form),     std::move(union_type),     std::move(async_generator),
          std::move(async_iterator), std::move(async_iterable), std::move(streamable)};
}

enum LazySlot { kLazyType, kNamespaceForClass, kNamespaceForCallable };

std::array<Ref, 3> fill_lazy_names() {
  Ref lazy = import("quenfel._lazy");
  return {getattr(lazy.get(), "LazyType"), getattr(lazy.get(), "namespace_for_class"),
          getattr(lazy.get(), "namespace_for_callable")};
}

constexpr std::array<const char*, 10> kScalarNames = {"String",   "Boolean", "Int",  "Float",   "ID",
                                                      "DateTime", "Date",    "Time", "Decimal", "UUID"};

std::array<Ref, 10> fill_scalars() {
  Ref builtins = import("builtins");
  Ref datetime = import("datetime");
  Ref text = getattr(builtins.get(), "str");
  Ref boolean = getattr(builtins.get(), "bool");
  Ref integer = getattr(builtins.get(), "int");
  Ref floating = getattr(builtins.get(), "float");
  Ref host = import("quenfel");
  Ref id = getattr(host.get(), "ID");
  Ref date_time = getattr(datetime.get(), "datetime");
  Ref date = getattr(datetime.get(), "date");
  Ref time = getattr(datetime.get(), "time");
  Ref decimal = import("decimal");
  Ref decimal_class = getattr(decimal.get(), "Decimal");
  Ref uuid = import("uuid");
  Ref uuid_class = getattr(uuid.get(), "UUID");
  return {std::move(text), std::move(boolean),   std::move(integer), std::move(floating),      std::move(id),
          std::move(date_time), std::move(date), std::move(time),    std::move(decimal_class), std::move(uuid_class)};
}

OnceCell<6> origin_cache("cache of typing origins", fill_origins);
OnceCell<3> lazy_cache("cache of quenfel._lazy names", fill_lazy_names);
OnceCell<10> scalar_cache("cache of built-in scalar classes", fill_scalars);

// ---- Small Python operations ------------------------------------------------

Ref call_typing(PyObject* typing, Name function, PyObject* annotation) {
  Ref callable = getattr(typing, function);
  return Ref::steal(PyObject_CallFunctionObjArgs(callable.get(), annotation, nullptr));
}

// Index 0 of typing.get_args(annotation); an unparameterised generic raises IndexError.
Ref first_argument(PyObject* typing, PyObject* annotation) {
  Ref arguments = call_typing(typing, "get_args", annotation);
  return Ref::steal(PySequence_GetItem(arguments.get(), 0));
}

bool is_annotated_origin(PyObject* typing, PyObject* origin) {
  Ref annotated = getattr(typing, "Annotated");
  return origin == annotated.get();
}

// The arguments of an annotation whose origin is Annotated: (first, the rest).
Unwrapped split_annotated(PyObject* typing, PyObject* annotation) {
  Ref arguments = arguments_list(typing, annotation);
  const Py_ssize_t count = PyList_Size(arguments.get());
  if (count == 0) raise_schema_error(kNoUnderlyingType);
  Ref base = Ref::borrow(PyList_GetItem(arguments.get(), 0));
  return {std::move(base), Ref::steal(PyList_GetSlice(arguments.get(), 1, count))};
}

bool is_instance(PyObject* obj, PyObject* cls) {
  const int result = PyObject_IsInstance(obj, cls);
  check(result);
  return result == 1;
}

// Python's `a == b`, with its truth test.
bool equals(PyObject* a, PyObject* b) {
  Ref result = Ref::steal(PyObject_RichCompare(a, b, Py_EQ));
  const int truth = PyObject_IsTrue(result.get());
  check(truth);
  return truth == 1;
}

std::string text_of(PyObject* obj) { return std::string(as_str(obj, nullptr)); }

bool is_maybe_origin(PyObject* origin) {
  if (origin == Py_None) return false;
  Ref maybe = getattr(import("quenfel._maybe").get(), "Maybe");
  return origin == maybe.get();
}

// The name of a LazyType: its resolved class's GraphQL name when it has one, else its type_name.
std::string lazy_type_name(PyObject* lazy) {
  if (PyObject* resolved = PyObject_CallMethod(lazy, "resolve_type", nullptr)) {
    Ref held = Ref::steal(resolved);
    if (const std::string* name = described_name(resolved)) return *name;
    if (Ref info = try_getattr(resolved, "__quenfel_type_info__")) {
      Ref name = getattr(info.get(), "name");
      if (PyUnicode_Check(name.get())) return text_of(name.get());
    }
  } else {
    discard_error();
  }
  return read_str(lazy, "type_name");
}

// ---- Resolution ---------------------------------------------------------------

struct Resolved {
  GraphQLType type;
  bool nullable;  // admits None at this level; the caller wraps a non-nullable type in NonNull
};

Resolved named(PyObject* annotation) { return {GraphQLType::named(named_type_name(annotation)), false}; }

Resolved nullable(Resolved resolved) {
  resolved.nullable = true;
  return resolved;
}

// The ten scalar classes are plain classes, for which typing.get_origin gives
// None, so only the last rule can match them: once the caches are filled, they
// resolve by identity tests, with no Python code run.
const char* builtin_scalar_name(PyObject* annotation) {
  const auto* scalars = scalar_cache.peek();
  if (scalars == nullptr || origin_cache.peek() == nullptr) return nullptr;
  const auto found = std::find(scalars->begin(), scalars->end(), annotation);
  return found == scalars->end() ? nullptr : kScalarNames[found - scalars->begin()];
}

Resolved resolve_core(PyObject* typing, PyObject* annotation);

// `union_part` is the union inside `annotation` (the annotation itself, or the
// base of an Annotated one, whose metadata the union description then reads);
// its origin is known to the caller already.
Resolved resolve_union(PyObject* typing, PyObject* annotation, PyObject* union_part, PyObject* origin) {
  if (is_union_origin(origin)) {
    Ref members = arguments_list(typing, union_part);
    PyObject* none_type = reinterpret_cast<PyObject*>(Py_TYPE(Py_None));
    PyObject* only = nullptr;
    Py_ssize_t count = 0;
    for (Py_ssize_t i = 0; i < PyList_Size(members.get()); ++i) {
      PyObject* member = PyList_GetItem(members.get(), i);
      if (member != none_type) {
        only = member;
        ++count;
      }
    }
    // Optional[X] and X | None, also under a union declaration.
    if (count == 1) return nullable(resolve_core(typing, only));
  }
  return {GraphQLType::named(describe_union_definition(annotation).name), false};
}

Resolved resolve_core(PyObject* typing, PyObject* annotation) {
  if (const char* scalar = builtin_scalar_name(annotation)) return {GraphQLType::named(scalar), false};
  // A hostile annotation may refer to itself through its arguments.
  RecursionGuard depth(" while resolving a type annotation");
  Ref origin = get_origin(typing, annotation);
  if (is_annotated_origin(typing, origin.get())) {
    auto [base, metadata] = split_annotated(typing, annotation);
    Ref base_origin = get_origin(typing, base.get());
    Ref declaration_class = getattr(import("quenfel._union").get(), "UnionDefinition");
    const bool declared = static_cast<bool>(find_marker(metadata.get(), declaration_class.get()));
    const bool is_union = is_union_origin(base_origin.get());
    if (declared || is_union) return resolve_union(typing, annotation, base.get(), base_origin.get());
    return resolve_core(typing, base.get());
  }
  if (is_maybe_origin(origin.get())) {
    Ref inner = first_argument(typing, annotation);
    return nullable(resolve_core(typing, inner.get()));
  }
  const auto& origins = origin_cache.get();
  if (origin.get() == origins[kUnion] || origin.get() == origins[kUnionType]) {
    return resolve_union(typing, annotation, annotation, origin.get());
  }
  // The item type, with the item's own nullability.
  for (OriginSlot item_origin : {kAsyncGenerator, kAsyncIterator, kAsyncIterable}) {
    if (equals(origin.get(), origins[item_origin])) {
      Ref item = first_argument(typing, annotation);
      return resolve_core(typing, item.get());
    }
  }
  // A tuple contributes only its first argument.
  for (PyObject* list_origin : {origins[kStreamable], reinterpret_cast<PyObject*>(&PyList_Type),
                                reinterpret_cast<PyObject*>(&PyTuple_Type)}) {
    if (equals(origin.get(), list_origin)) {
      Ref item = first_argument(typing, annotation);
      return {GraphQLType::list(resolve_graphql_type(typing, item.get())), false};
    }
  }
  return named(annotation);
}

void seed_namespace(LazySlot function, PyObject* target, PyObject* localns) {
  Ref names = Ref::steal(PyObject_CallFunctionObjArgs(lazy_cache.get()[function], target, nullptr));
  if (!PyDict_Check(names.get())) raise_wrong_kind(names.get(), &PyDict_Type, nullptr);
  check(PyDict_Update(localns, names.get()));
}

}  // namespace

Ref get_origin(PyObject* typing, PyObject* annotation) {
  // A class whose metaclass is type has no origin unless it is Generic itself:
  // typing.get_origin tests only for alias and union types. That is most
  // annotations, so they run no Python code here.
  if (Py_TYPE(annotation) == &PyType_Type) {
    Ref generic = getattr(typing, "Generic");
    if (annotation != generic.get()) return none();
  }
  return call_typing(typing, "get_origin", annotation);
}

Ref arguments_list(PyObject* typing, PyObject* annotation) {
  Ref arguments = call_typing(typing, "get_args", annotation);
  return Ref::steal(PySequence_List(arguments.get()));
}

Ref find_marker(PyObject* items, PyObject* marker_class) {
  Ref iterator = Ref::steal(PyObject_GetIter(items));
  while (PyObject* next = PyIter_Next(iterator.get())) {
    Ref item = Ref::steal(next);
    if (is_instance(item.get(), marker_class)) return item;
  }
  if (PyErr_Occurred()) throw ErrorSet{};
  return Ref();
}

Unwrapped unwrap_annotated(PyObject* typing, PyObject* annotation) {
  Ref origin = get_origin(typing, annotation);
  return unwrap_annotated(typing, annotation, origin.get());
}

Unwrapped unwrap_annotated(PyObject* typing, PyObject* annotation, PyObject* origin) {
  if (is_annotated_origin(typing, origin)) return split_annotated(typing, annotation);
  return {Ref::borrow(annotation), new_list(0)};
}

bool is_maybe_annotation(PyObject* typing, const Unwrapped& unwrapped) {
  Ref origin = get_origin(typing, unwrapped.base.get());
  return is_maybe_origin(origin.get());
}

bool is_union_origin(PyObject* origin) {
  const auto& origins = origin_cache.get();
  return origin == origins[kUnion] || origin == origins[kUnionType];
}

PyObject* lazy_type_class() { return lazy_cache.get()[kLazyType]; }

std::string named_type_name(PyObject* annotation) {
  if (is_instance(annotation, lazy_type_class())) return lazy_type_name(annotation);
  const auto& scalars = scalar_cache.get();
  for (std::size_t i = 0; i < scalars.size(); ++i) {
    if (scalars[i] == annotation) return kScalarNames[i];
  }
  if (const std::string* name = described_name(annotation)) return *name;
  if (Ref info = try_getattr(annotation, "__quenfel_type_info__")) return read_str(info.get(), "name");
  if (PyObject* name = PyObject_GetAttrString(annotation, "__name__")) {
    Ref held = Ref::steal(name);
    if (PyUnicode_Check(name)) return text_of(name);
  } else if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
    PyErr_Clear();
  } else {
    throw ErrorSet{};
  }
  Ref text = Ref::steal(PyObject_Str(annotation));
  return text_of(text.get());
}

GraphQLType resolve_graphql_type(PyObject* typing, PyObject* annotation) {
  Resolved resolved = resolve_core(typing, annotation);
  if (resolved.nullable) return std::move(resolved.type);
  return GraphQLType::non_null(std::move(resolved.type));
}

Ref get_type_hints(PyObject* typing, PyObject* target, PyObject* localns) {
  Ref function = getattr(typing, "get_type_hints");
  Ref kwargs = new_dict();
  dict_set(kwargs.get(), "localns", localns);
  dict_set(kwargs.get(), "include_extras", Py_True);
  return call(function.get(), tuple(Ref::borrow(target)).get(), kwargs.get());
}

Ref class_namespace(PyObject* cls, PyObject* class_name) {
  Ref localns = new_dict();
  check(PyDict_SetItem(localns.get(), class_name, cls));
  seed_lazy_namespace_for_class(cls, localns.get());
  return localns;
}

FieldAnnotation field_annotation(PyObject* hints, PyObject* field) {
  Ref name = getattr(field, "name");
  std::string text(as_str(name.get(), nullptr));
  Ref declared = getattr(field, "type");
  if (PyObject* hinted = PyDict_GetItemWithError(hints, name.get())) return {std::move(text), Ref::borrow(hinted)};
  if (PyErr_Occurred()) throw ErrorSet{};
  return {std::move(text), std::move(declared)};
}

Ref plain_field_class(PyObject* dataclasses) {
  static constexpr Name kConfiguration[] = {"resolver",           "graphql_name", "description",
                                            "deprecation_reason", "graphql_type", "directives"};
  Ref field_class = try_getattr(dataclasses, "Field");
  if (!field_class || !PyType_Check(field_class.get())) return Ref();
  // Field has __slots__: an instance can only find what Field and object
  // define, and object defines none of these.
  Ref mro = getattr(field_class.get(), "__mro__");
  if (!PyTuple_Check(mro.get()) || PyTuple_Size(mro.get()) != 2 ||
      PyTuple_GetItem(mro.get(), 1) != reinterpret_cast<PyObject*>(&PyBaseObject_Type)) {
    return Ref();
  }
  Ref own = getattr(field_class.get(), "__dict__");
  const auto defines = [&](Name name) {
    PyObject* key = name.object();
    if (key == nullptr) throw ErrorSet{};
    const int found = PySequence_Contains(own.get(), key);
    check(found);
    return found == 1;
  };
  for (const Name& name : kConfiguration) {
    if (defines(name)) return Ref();
  }
  if (defines("__getattr__") || defines("__getattribute__")) return Ref();
  return field_class;
}

Ref field_configuration(PyObject* plain_field_class, PyObject* field, Name name) {
  if (Py_TYPE(field) == reinterpret_cast<PyTypeObject*>(plain_field_class)) return Ref();
  return try_getattr(field, name);
}

void seed_lazy_namespace_for_class(PyObject* cls, PyObject* localns) {
  seed_namespace(kNamespaceForClass, cls, localns);
}

void seed_lazy_namespace_for_callable(PyObject* func, PyObject* localns) {
  seed_namespace(kNamespaceForCallable, func, localns);
}

}  // namespace quenfel::py
