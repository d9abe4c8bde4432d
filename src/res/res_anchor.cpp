// Keeps the resource library non-empty while it holds only compiled-in data.
namespace kestrivan_res {
int anchor() { return 0; }
}  // namespace kestrivan_res
