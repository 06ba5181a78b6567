// RodividuZIDU: carries a Sonavoxa library from format 2.5 to 3.4. Until the migration window
// is in place, the program only says so and leaves everything untouched.
#include <iostream>

int main() {
    std::cout << "RodividuZIDU: the migration window is not part of this build yet; nothing was "
                 "changed.\n";
    return 0;
}
