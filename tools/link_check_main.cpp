// The entry of the per-folder link checks: they only have to link.
int main() {
    return 0;
}
