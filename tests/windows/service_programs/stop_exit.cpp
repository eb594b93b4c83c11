// A stop command of the Wine service suite: ends at once with the exit code it was built
// with (STOP_EXIT_CODE), one of the codes whose meaning the service fixes.
int main() {
    return STOP_EXIT_CODE;
}
