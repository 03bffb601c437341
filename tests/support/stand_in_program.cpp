// A stand-in for a program Velkor starts (the validator): copied under any name, it
// does what the text file of the same name with ".do" appended says, so the suites
// need no shell and run the same on every system. Every run adds a line to <name>.runs.
//   exit N    writes "ran" to <name>.ran and ends with exit code N
//   sleep MS  sleeps that many milliseconds, then ends with 0
//   count     writes how many arguments it was given to <name>.argc
//   accept MS sleeps that many milliseconds, then writes the verdict "1" to ini.ini beside it
//   answer    writes what follows "answer " in the order, byte for byte, to ini.ini beside it
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

// The file beside this program named name.
std::string Beside(const std::string& self, const std::string& name) {
    return self.substr(0, self.find_last_of("/\\") + 1) + name;
}

int main(int argc, char** argv) {
    const std::string self = argv[0];
    std::ofstream(self + ".runs", std::ios::app) << "run\n";
    std::ifstream order(self + ".do", std::ios::binary);
    std::string verb;
    long long value = 0;
    order >> verb >> value;
    if (verb == "exit") {
        std::ofstream(self + ".ran") << "ran";
        return static_cast<int>(value);
    }
    if (verb == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(value));
        return 0;
    }
    if (verb == "accept") {
        std::this_thread::sleep_for(std::chrono::milliseconds(value));
        std::ofstream(Beside(self, "ini.ini")) << "1";
        return 0;
    }
    if (verb == "answer") {
        std::ifstream whole(self + ".do", std::ios::binary);
        std::ostringstream text;
        text << whole.rdbuf();
        std::ofstream(Beside(self, "ini.ini"), std::ios::binary) << text.str().substr(std::string("answer ").size());
        return 0;
    }
    if (verb == "count") {
        std::ofstream(self + ".argc") << argc - 1;
        return 0;
    }
    return 125;
}
