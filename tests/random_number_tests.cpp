// Randomised tests against independent models: being written.
