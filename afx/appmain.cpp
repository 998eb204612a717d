// The Windows entry point of a program built on this layer; kept apart so
// that test programs with their own main() do not pull it in.
#include "afxapp.h"

extern "C" int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow)
{
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
