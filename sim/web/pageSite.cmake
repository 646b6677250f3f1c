# Makes the static site's index.html from the live page's: every path made
# relative (the site may be served from any folder), the module and the
# browser build's own scripts and styles added, the journal made on request.
# -DINPUT=page/index.html -DOUTPUT=site/index.html
file(READ "${INPUT}" page)
string(REPLACE "href=\"/favicon.ico\"" "href=\"icon.svg\"" page "${page}")
string(REPLACE "href=\"/page.css\" />"
               "href=\"page.css\" />\n    <link rel=\"stylesheet\" href=\"site.css\" />
    <link rel=\"preload\" href=\"ringwatcher.wasm\" as=\"fetch\" type=\"application/wasm\" crossorigin />
    <link rel=\"preload\" href=\"ringwatcher.data\" as=\"fetch\" crossorigin />" page "${page}")
string(REPLACE "href=\"/journal.txt\"" "href=\"journal.txt\"" page "${page}")
string(REPLACE "<script src=\"/transport.js\"></script>"
               "<script src=\"ringwatcher.js\"></script>\n    <script src=\"transport.js\"></script>" page "${page}")
string(REPLACE "<script src=\"/page.js\"></script>" "<script src=\"page.js\"></script>" page "${page}")
string(REPLACE "<script src=\"/panel.js\"></script>"
               "<script src=\"panel.js\"></script>\n    <script src=\"diskDrop.js\"></script>" page "${page}")
string(REPLACE "<title>Ringwatcher - simulated receiver</title>"
               "<title>Ringwatcher - simulated receiver in your browser</title>" page "${page}")
foreach(path "src=\"/" "href=\"/")
    string(FIND "${page}" "${path}" left)
    if(NOT left EQUAL -1)
        message(FATAL_ERROR "index.html has a path the site cannot serve: ${path}...")
    endif()
endforeach()
file(WRITE "${OUTPUT}" "${page}")
