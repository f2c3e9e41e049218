// Linked with one whole library, to show that nothing in it is left undefined.
int main() { return 0; }
