package com.orlena.tessel.brevant;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.io.IOException;
import java.lang.invoke.MethodType;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.file.Files;
import org.junit.After;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

/**
 * The connector finds the engine's methods by name and JNI descriptor and the natives by
 * name and Java types, so a drift in either only shows on a real IIS; these tests pin them,
 * and what Init and the filter's two questions answer.
 */
public class EngineContractTest {
    private static final String S = "Ljava/lang/String;";
    @Rule
    public final TemporaryFolder folder = new TemporaryFolder();

    @After
    public void forgetDataFiles() throws IOException {
        Brevant.loadDataFiles(null);
    }

    /** Each {name, JNI descriptor} is the one method of that name with these modifiers. */
    private static void assertMethods(Class<?> type, int modifiers, String[][] expected) {
        int count = 0;
        for (Method m : type.getDeclaredMethods()) {
            for (String[] e : expected) {
                if (e[0].equals(m.getName()) && (m.getModifiers() & modifiers) == modifiers) {
                    MethodType t = MethodType.methodType(m.getReturnType(), m.getParameterTypes());
                    assertEquals(e[0], e[1], t.toMethodDescriptorString());
                    count++;
                }
            }
        }
        assertEquals("methods found", expected.length, count);
    }

    @Test
    public void engineMethodsHaveTheConnectorsDescriptors() {
        assertMethods(Brevant.class, Modifier.PUBLIC | Modifier.STATIC, new String[][] {
            {"Init", "(" + S + "I" + S + "I" + S + S + S + ")B"}, {"getInitMsg", "()" + S},
            {"setServerInfo", "(" + S + ")V"}, {"isServletAlias", "(" + S + S + ")Z"},
            {"ProcessRequest", "(" + S + "[B" + S + S + S + "II" + S + "Z" + S + S + ")[B"},
            {"authIISRequest", "(" + S + S + S + S + ")Z"}, {"Shutdown", "()V"}});
    }

    @Test
    public void nativesHaveTheConnectorsTypes() {
        assertMethods(ISAPINativeLib.class, Modifier.NATIVE, new String[][] {
            {"writeHeaders", "(I[B[B)Z"}, {"writeClient", "(I[BIZ)B"}, {"readClient", "(II)[B"},
            {"bytesAvailable", "(I)I"}, {"outputDebugString", "([B)V"}, {"getRealPath", "(I" + S + ")" + S},
            {"enableIISSecurity", "()V"}, {"disableIISSecurity", "()V"}, {"getClientCertificate", "(I)" + S}});
    }

    @Test
    public void initNamesWhatIsMissing() throws IOException {
        String data = folder.getRoot().toString(), servlets = folder.newFolder("servlets").toString();
        String missing = data + "/no-such-servlets", garbage = folder.newFile("garbage.so").toString();
        Object[][] cases = {
            {missing, "/nowhere/libx.so", 1, "The servlets directory <b>" + missing + "</b> does not exist."},
            {servlets, data + "/missing.so", 2, "The connector library <b>" + data + "/missing.so</b> cannot be loaded: "},
            {servlets, garbage, 2, "The connector library <b>" + garbage + "</b> cannot be loaded: "},
            {servlets, "relative/lib.so", 2, "The connector library <b>relative/lib.so</b> cannot be loaded: "},
            {servlets, null, 2, "No connector library was named."}};
        for (Object[] c : cases) {
            assertEquals((byte) (int) c[2], Brevant.Init("Microsoft IIS", 0, "", 0, data, (String) c[0], (String) c[1]));
            assertTrue(Brevant.getInitMsg(), Brevant.getInitMsg().startsWith((String) c[3]));
        }
    }

    private void dataFile(String name, String text) throws IOException {
        Files.writeString(folder.getRoot().toPath().resolve(name), text);
        Brevant.loadDataFiles(folder.getRoot().toPath());
    }

    @Test
    public void aliasesComeFromTheAliasFile() throws IOException {
        Brevant.loadDataFiles(folder.getRoot().toPath());
        assertEquals(false, Brevant.isServletAlias("/app/page", null));
        dataFile("aliases.txt", "# engine URLs\n/app/\n\n.jsp\n");
        Object[][] cases = {{"/servlet/Hello?x=1", true}, {"/app/page", true}, {"/shop/index.jsp?item=3", true},
                            {"/shop/index.jsp.html", false}, {"/apple/x", false},
                            {"/index.html?q=.jsp", false}, {null, false}};
        for (Object[] c : cases) {
            assertEquals((String) c[0], c[1], Brevant.isServletAlias((String) c[0], "example.com"));
        }
    }

    @Test
    public void accessComesFromTheRulesFile() throws IOException {
        Brevant.loadDataFiles(folder.getRoot().toPath());
        assertEquals(true, Brevant.authIISRequest("/servlet/Admin", null, null, null));
        dataFile("access.txt", "# prefix user\n/servlet/Admin alice\n/servlet/Admin Bob\n/private/ *\n");
        Object[][] cases = {{"/servlet/Admin", "alice", true}, {"/servlet/Admin?x", "BOB", true},
                            {"/servlet/Admin", "carol", false}, {"/servlet/Admin", null, false},
                            {"/private/doc", "carol", true}, {"/private/doc", null, false},
                            {"/servlet/Hello", null, true}};
        for (Object[] c : cases) {
            assertEquals(c[0] + " " + c[1], c[2], Brevant.authIISRequest((String) c[0], "h", (String) c[1], "pw"));
        }
    }
}
