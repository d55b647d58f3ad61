// The sub-commands of nocturo-cli; argv[0] is the sub-command's name.
#pragma once

int runExtract(int argc, char** argv);
int runExif(int argc, char** argv);
