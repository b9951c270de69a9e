// KAVORIN sample widget: shows its name and leaves when the remote's Return/Back key is pressed.
(function () {
    'use strict';

    // Return on a Tizen TV remote (XF86Back); Escape and Backspace stand in for it in a browser.
    var KEY_RETURN = 10009;
    var KEY_ESCAPE = 27;
    var KEY_BACKSPACE = 8;

    function exitApp() {
        if (typeof tizen !== 'undefined' && tizen.application) {
            try {
                tizen.application.getCurrentApplication().exit();
            } catch (e) {
                // Nothing sensible to do on a TV that refuses; stay on screen.
            }
        } else {
            document.body.classList.add('closed');
        }
    }

    document.addEventListener('keydown', function (event) {
        switch (event.keyCode) {
        case KEY_RETURN:
        case KEY_ESCAPE:
        case KEY_BACKSPACE:
            event.preventDefault();
            exitApp();
            break;
        default:
            break;
        }
    });
}());
