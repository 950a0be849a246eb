// One stage program of the sample package, built once per stage: STAGE
// (0 to 3) picks the program's name and the folder of text files it writes
// into the current directory.

#include "sample.h"

struct StageFile {
    const char* name;
    const char* text;
};

struct Stage {
    const char* program;
    const char* folders[2];  // created in order; the last receives the files
    StageFile files[3];
};

static const Stage Stages[] = {
    {"tute.exe",
     {"tutorials", NULL},
     {{"lesson1.txt", "Lesson 1: building your first program with VARNOK.\r\n"},
      {"lesson2.txt", "Lesson 2: the project window and the BUILD ALL option.\r\n"},
      {"lesson3.txt", "Lesson 3: running and debugging what you built.\r\n"}}},
    {"ex1.exe",
     {"examples", "examples\\intro"},
     {{"hello.txt", "Introductory example: print a greeting.\r\n"},
      {"count.txt", "Introductory example: count from 1 to 10.\r\n"},
      {"readme.txt", "Sample stand-in for the introductory example code.\r\n"}}},
    {"ex2.exe",
     {"examples", "examples\\intermediate"},
     {{"files.txt", "Intermediate example: read and write a file.\r\n"},
      {"maths.txt", "Intermediate example: the floating point library.\r\n"},
      {"readme.txt", "Sample stand-in for the intermediate example code.\r\n"}}},
    {"ex3.exe",
     {"examples", "examples\\advanced"},
     {{"dialog.txt", "Advanced example: a coded dialog.\r\n"},
      {"script.txt", "Advanced example: scripting with Scrivlet.\r\n"},
      {"readme.txt", "Sample stand-in for the advanced example code.\r\n"}}},
};

static_assert(STAGE >= 0 && STAGE < 4, "STAGE picks one of the four stages");

static int RunStage(const Stage& stage)
{
    LogInstallerTitle(stage.program);
    SampleDelay(stage.program);

    const char* folder = NULL;
    for (const char* name : stage.folders) {
        if (!name)
            break;
        // An existing folder is fine: ex1, ex2 and ex3 share "examples".
        if (!CreateDirectoryA(name, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
            fprintf(stderr, "%s: cannot create %s (error %lu)\n", stage.program, name,
                    GetLastError());
            return 1;
        }
        folder = name;
    }
    for (const StageFile& file : stage.files) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s\\%s", folder, file.name);
        FILE* out = fopen(path, "wb");
        if (!out || fputs(file.text, out) < 0 || fclose(out) != 0) {
            fprintf(stderr, "%s: cannot write %s\n", stage.program, path);
            return 1;
        }
    }
    printf("%s: wrote %s\n", stage.program, folder);
    return SampleExitCode(stage.program);
}

int main()
{
    const char* program = Stages[STAGE].program;
    SampleTimeStamp(program, "start");
    int code = RunStage(Stages[STAGE]);
    SampleTimeStamp(program, "end");
    return code;
}
