/*
 *   The Canal Lock: a short test story for Tallowick, written in TADS 2
 *   with its standard library, adv.t (and std.t's defaults, replaced
 *   where the story needs its own).
 */
#include <adv.t>
#include <std.t>

/* One row of status: the room, then the score and turns (adv.t's own). */
replace global: object
    turnsofar = 0
    score = 0
    maxscore = 2
    verbose = nil
    lamplist = []
;

replace version: object
    sdesc = "\b\(The Canal Lock\)\nA short test story by Brennholt\n"
;

replace init: function
{
    version.sdesc;
    "\b\(You have come to work the lock for a narrowboat that has waited
    since dawn.\)\b";
    "[Press any key to begin.]";
    inputkey();
    "\b";
    setdaemon(turncount, nil);
    parserGetMe().location := startroom;
    startroom.lookAround(true);
    startroom.isseen := true;
    scoreStatus(0, 0);
}

/* The end, with the same choices as adv.t's die(), for a win. */
win: function
{
    "\b*** You have won ***\b";
    scoreRank();
    "\bYou may restore a saved game, start over, quit, or undo
    the current command.\n";
    while (true)
    {
        local resp;

        "\nPlease enter RESTORE, RESTART, QUIT, or UNDO: >";
        resp := upper(input());
        if (resp = 'RESTORE')
        {
            resp := askfile('File to restore',
                            ASKFILE_PROMPT_OPEN, FILE_TYPE_SAVE);
            if (resp = nil)
                "Restore failed. ";
            else if (restore(resp))
                "Restore failed. ";
            else
            {
                parserGetMe().location.lookAround(true);
                scoreStatus(global.score, global.turnsofar);
                abort;
            }
        }
        else if (resp = 'RESTART')
        {
            scoreStatus(0, 0);
            restart();
        }
        else if (resp = 'QUIT')
        {
            terminate();
            quit();
            abort;
        }
        else if (resp = 'UNDO')
        {
            if (undo())
            {
                "(Undoing one command)\b";
                parserGetMe().location.lookAround(true);
                scoreStatus(global.score, global.turnsofar);
                abort;
            }
            else
                "Sorry, no undo information is available. ";
        }
    }
}

helpVerb: sysverb
    verb = 'help' 'hint' 'about'
    sdesc = "help"
    action(actor) =
    {
        "Type what you want to do, such as TAKE WINDLASS or NORTH.
        The Canal Lock is a short test story for Tallowick, written in
        TADS 2. ";
        abort;
    }
;

windVerb: deepverb
    verb = 'wind' 'crank'
    sdesc = "wind"
    doAction = 'Turn'
;

startroom: room
    sdesc = "Towpath"
    ldesc = "A grassy towpath runs beside the canal. The lock keeper's
        cottage is north, and the lock is east. "
    north = cottage
    east = lockside
;

cottage: room
    sdesc = "Lock Cottage"
    ldesc = "A whitewashed room with a cold stove. The door is south. "
    south = startroom
    out = startroom
;

windlass: item
    sdesc = "windlass"
    noun = 'windlass' 'handle'
    adjective = 'iron'
    location = cottage
    ldesc = "An iron crank handle, worn bright where hands have held it. "
;

lockside: room
    sdesc = "Lockside"
    ldesc = "A narrowboat waits below the lock, its crew looking up at you.
        Beside the gate stands the paddle gear, and the balance beam of the
        gate reaches out over the towpath. The towpath is west. "
    west = startroom
    filled = nil
;

narrowboat: fixeditem
    sdesc = "narrowboat"
    noun = 'narrowboat' 'boat' 'crew'
    location = lockside
    ldesc = "A long green boat, patiently waiting. "
;

paddles: fixeditem
    sdesc = "paddle gear"
    noun = 'paddle' 'paddles' 'gear'
    adjective = 'paddle'
    location = lockside
    ldesc = "The paddles let water into the lock. You wind them up with
        a windlass. "
    verDoTurn(actor) =
    {
        if (windlass.location <> actor)
            "You need a windlass to wind the paddles. ";
        else if (lockside.filled)
            "The paddles are already up. ";
    }
    doTurn(actor) =
    {
        "Open the paddles for the narrowboat? (YES or NO) > ";
        if (yorn() = 1)
        {
            "\bWater roars into the lock, and the narrowboat rises with it
            until it floats level with the towpath. ";
            lockside.filled := true;
            incscore(1);
        }
        else
            "\bYou leave the paddles alone. ";
    }
    verDoOpen(actor) = { self.verDoTurn(actor); }
    doOpen(actor) = { self.doTurn(actor); }
;

gate: fixeditem
    sdesc = "lock gate"
    noun = 'gate' 'beam'
    adjective = 'lock' 'balance'
    location = lockside
    ldesc = "A heavy wooden gate with a long balance beam. "
    verDoPush(actor) = {}
    doPush(actor) =
    {
        if (not lockside.filled)
            "The water below holds the gate shut. Wind the paddles first. ";
        else
        {
            "You lean on the balance beam, and the gate swings open. The
            narrowboat slides out of the lock with a wave from its crew. ";
            incscore(1);
            win();
        }
    }
    verDoOpen(actor) = {}
    doOpen(actor) = { self.doPush(actor); }
;
