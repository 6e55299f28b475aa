// Placeholder until the measurements land.
int main() {
    return 0;
}
