// Keeps the binding library non-empty until its first source lands.
namespace quenfel::py {
int placeholder = 0;
}
