/* Stand-in for the emulator's VirtualBox device plug-in ("OrvSpeed"). VirtualBox itself is not here,
 * so nothing loads it; the simulated tool only checks that the file the machine's extradata names
 * exists, as the real one fails to start a machine whose plug-in is missing. */
int orvspeed_stand_in(void)
{
    return 0;
}
