<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>Pelkoranのﾊﾞｰｼﾞｮﾝ情報</source>
        <translation>About Pelkoran</translation>
    </message>
</context>
<context>
    <name>CPackNow</name>
    <message>
        <source>次の項目がないため圧縮しません:</source>
        <translation>These items do not exist and are not packed:</translation>
    </message>
    <message>
        <source>圧縮する項目を指定してください</source>
        <translation>Name the items to pack</translation>
    </message>
</context>
<context>
    <name>CPackerDlg</name>
    <message>
        <source>対象ファイル・ディレクトリ</source>
        <translation>Files and directories to pack</translation>
    </message>
    <message>
        <source>下のリストにExplorerからファイル・ディレクトリをドラッグ＆ドロップしてください。</source>
        <translation>Drag and drop files and directories onto the list below.</translation>
    </message>
    <message>
        <source>圧縮する項目</source>
        <translation>Items to pack</translation>
    </message>
    <message>
        <source>ファイル・ディレクトリをここへドラッグ＆ドロップします。Delete キーで選んだ行を外します</source>
        <translation>Drag and drop files and directories here. The Delete key takes the selected rows off the list</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>ファイル・ディレクトリと同じ場所に圧縮ファイルを出力する</source>
        <translation>Put each archive beside its file or directory</translation>
    </message>
    <message>
        <source>下記の場所に圧縮ファイルを出力する</source>
        <translation>Put the archives in this directory</translation>
    </message>
    <message>
        <source>出力先ディレクトリ</source>
        <translation>Output directory</translation>
    </message>
    <message>
        <source>出力先ディレクトリを選択</source>
        <translation>Choose the output directory</translation>
    </message>
    <message>
        <source>選択...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>ファイルの場合、圧縮ファイル名から拡張子を取る</source>
        <translation>For a file, leave its extension out of the archive name</translation>
    </message>
    <message>
        <source>ファイルの場合、圧縮ファイル名から拡張子を取る（file.txt → file.lzh）</source>
        <translation>For a file, leave its extension out of the archive name (file.txt → file.lzh)</translation>
    </message>
    <message>
        <source>圧縮方式:</source>
        <translation>Method:</translation>
    </message>
    <message>
        <source>圧縮方式</source>
        <translation>Compression method</translation>
    </message>
    <message>
        <source>圧縮の手間</source>
        <translation>Compression effort</translation>
    </message>
    <message>
        <source>速度優先</source>
        <translation>fast</translation>
    </message>
    <message>
        <source>標準</source>
        <translation>normal</translation>
    </message>
    <message>
        <source>高圧縮</source>
        <translation>best</translation>
    </message>
    <message>
        <source>書き込み後に書庫を検査する</source>
        <translation>Verify the archive after writing it</translation>
    </message>
    <message>
        <source>書き込んだ書庫を展開して CRC を確かめてから置き換えます</source>
        <translation>Unpacks the written archive and checks its CRCs before it replaces the old one</translation>
    </message>
    <message>
        <source>書き込み後に検査</source>
        <translation>Verify after writing</translation>
    </message>
    <message>
        <source>圧縮実行</source>
        <translation>Compress</translation>
    </message>
    <message>
        <source>圧縮実行！</source>
        <translation>Compress!</translation>
    </message>
    <message>
        <source>Pelkoran のﾊﾞｰｼﾞｮﾝ情報(&amp;A)...</source>
        <translation>&amp;About Pelkoran...</translation>
    </message>
</context>
<context>
    <name>FolderPicker</name>
    <message>
        <source>出力するディレクトリを選択してください</source>
        <translation>Choose the directory for the archives</translation>
    </message>
</context>
<context>
    <name>pelkoran::ProgressDialog</name>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>%1 / %2 項目</source>
        <translation>Item %1 of %2</translation>
    </message>
    <message>
        <source>書庫: </source>
        <translation>Archive: </translation>
    </message>
    <message>
        <source>%1 読み込み済み</source>
        <translation>%1 read</translation>
    </message>
    <message>
        <source>キャンセルしています...</source>
        <translation>Cancelling...</translation>
    </message>
</context>
<context>
    <name>pelkoran::TargetViewModel</name>
    <message>
        <source>ファイル・ディレクトリ</source>
        <translation>Files and directories</translation>
    </message>
</context>
</TS>
