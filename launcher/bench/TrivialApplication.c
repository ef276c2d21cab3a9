/* The application for the benchmark: it ends at once, so the time measured is all start-up. */
int main(void) { return 0; }
