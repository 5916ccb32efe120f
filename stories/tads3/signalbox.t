#charset "us-ascii"

/*
 *   The Signal Box, by Brennholt.
 *
 *   A test story of Tallowick's for TADS 3, built with the adv3 library.
 *   It uses what published TADS 3 games use, so that a front-end meets
 *   their habits:
 *     - adv3's status line, a banner of two rows: the room and the score
 *       on the first, the exits on the second, made anew every turn;
 *     - bold room names, a bold title, emphasis in italics;
 *     - a key wait before the story starts ("Press any key");
 *     - a question answered with one key (ring the bell: Y or N);
 *     - the library's own line questions (RESTART, and the ending's
 *       RESTART, RESTORE, UNDO or QUIT);
 *     - adv3's menu library (HELP), driven with the keys it names;
 *     - SAVE and RESTORE through the interpreter's file prompts, with a
 *       lamp worth carrying across them.
 *   Winning takes four commands: take lamp, east, ring bell (Y), pull lever.
 *   Points: 1 for ringing the bell, 1 for pulling the lever.
 */

#include <adv3.h>
#include <en_us.h>

versionInfo: GameID
    IFID = '5b1c2e44-7d0a-4c8e-9f31-54a1b7c0d2e9'
    name = 'The Signal Box'
    byline = 'by Brennholt'
    htmlByline = 'by Brennholt'
    version = '1'
    authorEmail = 'Brennholt'
    desc = 'A short test story: a country signal box on the night of the
        last train.'
    htmlDesc = 'A short test story: a country signal box on the night of
        the last train.'
    firstPublished = '2025'
    licenseType = 'Freeware'
    showCredit() { "The Signal Box was written for Tallowick's tests. "; }
    showAbout() { "Type HELP for a menu of help. "; }
;

gameMain: GameMainDef
    initialPlayerChar = me
    maxScore = 2

    showIntro()
    {
        "<b>The Signal Box</b>\n
        A short test story by Brennholt\b
        The last train of the night is due at Harrow Halt, and the
        signalman has gone home with a cold. Somebody has to set the
        signal, and tonight that somebody is <i>you</i>.\b";
        "[Press any key to begin.]";
        inputManager.getKey(nil, nil);
        "\b";
    }
;

me: Actor
    location = platform
;

platform: OutdoorRoom 'Platform' 'the platform'
    "A single wooden platform under one gas lamp. The lamp room is
    to the north, and the steps of the signal box climb to the east. "
    north = lampRoom
    east = signalBox
;

+ Decoration 'gas lamp' 'gas lamp'
    "It hisses quietly and lights almost nothing. "
;

lampRoom: Room 'Lamp Room' 'the lamp room'
    "A narrow shed that smells of paraffin. Shelves of lamps line the
    walls; the door is to the south. "
    south = platform
    out = platform
;

+ handLamp: Thing 'hand lamp/lantern' 'hand lamp'
    "A railwayman's hand lamp, <<isLit ? 'burning a steady red' :
      'its wick trimmed and dark'>>. "
    initSpecialDesc = "A hand lamp waits on the lowest shelf. "
    isLit = nil
    dobjFor(Light)
    {
        verify() { if (isLit) illogicalAlready('It is already lit. '); }
        action()
        {
            isLit = true;
            "You light the lamp. It burns a steady red. ";
        }
    }
    dobjFor(Burn) asDobjFor(Light)
;

signalBox: Room 'Signal Box' 'the signal box'
    "A small glass room above the line. A brass bell hangs by the window,
    and a single iron lever rises from the floor. The steps go down to
    the west. "
    west = platform
    down = platform
;

+ bell: Fixture 'brass bell' 'brass bell'
    "A brass bell for telling the next box that a train is coming. "
    rung = nil
    dobjFor(Ring)
    {
        verify() { }
        action()
        {
            "Ring the bell for the night train? (Y/N) ";
            local key;
            do
                key = inputManager.getKey(nil, nil).toLower();
            while (key != 'y' && key != 'n');
            "<<key.toUpper()>>\b";
            if (key == 'n')
            {
                "You leave the bell alone. ";
                return;
            }
            if (rung)
            {
                "The bell rings again, for no one. ";
                return;
            }
            rung = true;
            "<i>Ding, ding.</i> Far down the line, another bell answers. ";
            addToScore(1, 'ringing the bell');
        }
    }
    dobjFor(Push) asDobjFor(Ring)
;

+ lever: Fixture 'iron lever' 'iron lever'
    "The signal lever, painted red and polished by years of hands. "
    dobjFor(Pull)
    {
        verify() { }
        check()
        {
            if (!bell.rung)
                failCheck('You should ring the bell before you clear the
                    signal. ');
            if (!handLamp.isIn(me))
                failCheck('It is too dark to see the signal drop. You want
                    a lamp. ');
        }
        action()
        {
            "The lever comes back with a clank, and out in the dark the
            signal arm drops to clear. A minute later the night train
            rattles past, every window lit.\b";
            addToScore(1, 'clearing the signal');
            finishGameMsg(ftVictory, [finishOptionUndo]);
        }
    }
    dobjFor(Push) asDobjFor(Pull)
    dobjFor(Move) asDobjFor(Pull)
;

/* RING, which adv3 lacks. */
DefineTAction(Ring);
VerbRule(Ring)
    ('ring' | 'sound') singleDobj
    : RingAction
    verbPhrase = 'ring/ringing (what)'
;
modify Thing
    dobjFor(Ring) { verify() { illogical('{That dobj/he} is not a bell. '); } }
;

/* HELP, with adv3's own menus. */
DefineSystemAction(Help)
    execSystemAction()
    {
        helpMenu.display();
        "Done. ";
    }
;
VerbRule(Help)
    'help' | 'hint' | 'hints'
    : HelpAction
    verbPhrase = 'help/helping'
;

helpMenu: MenuItem 'The Signal Box: help';

+ MenuLongTopicItem 'How to play'
    menuContents = 'Type what you want to do, such as TAKE LAMP or GO
        EAST, and press Enter. LOOK describes the room again, INVENTORY
        lists what you carry, SAVE and RESTORE keep your place. '
;

+ MenuLongTopicItem 'A hint'
    menuContents = 'The bell comes first, then the lever, and you will
        want a lamp to see the signal by. '
;

+ MenuLongTopicItem 'About this story'
    menuContents = 'The Signal Box is a short test story for Tallowick,
        written with TADS 3 and its adv3 library. '
;
